#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "support/TestSite.h"

namespace qsi::platform {
namespace {

TEST(RunStamp, NamesAFolderWithoutColonsAndDatesInIsoForm) {
  test::FixedClock clock;
  const auto stamp = makeRunStamp(clock.now());
  EXPECT_TRUE(stamp.installDateAndTimeFormat.starts_with("12-06-2026 -- "))
      << stamp.installDateAndTimeFormat;
  EXPECT_EQ(stamp.installDateAndTimeFormat.find(':'), std::string::npos);
  EXPECT_EQ(stamp.installDateText.size(), 19u);
  EXPECT_TRUE(stamp.installDateText.starts_with("2026-12-0"));
  // Runs a second apart log into folders of their own.
  clock.when += std::chrono::seconds(1);
  EXPECT_NE(makeRunStamp(clock.now()).installDateAndTimeFormat, stamp.installDateAndTimeFormat);
}

}  // namespace
}  // namespace qsi::platform
