#include <gtest/gtest.h>

#include "customization/Customization.h"
#include "support/TestSite.h"

namespace qsi::customization {
namespace {

solution::FileEntry entry(std::string path, std::string current, std::string metabase) {
  solution::FileEntry e;
  e.path = std::move(path);
  e.currentChecksum = std::move(current);
  e.metabaseChecksum = std::move(metabase);
  e.customized = true;  // stale flags are reset
  return e;
}

TEST(Customizations, OnlyKnownDifferingChecksumsCountAndAreLogged) {
  test::TestSite site;
  solution::SolutionInfo info;
  info.files = {entry("QO11\\same.asp", "1A2B", "1A2B"),
                entry("QO11\\Q-Alder\\changed.asp", "1A2B", "3C4D"),
                entry("QO11\\missing.asp", "0", "3C4D"),
                entry("QO11\\norow.asp", "1A2B", "0"),
                entry("Components\\QAlder\\x.dll", "0", "186"),
                entry("QO11\\case.asp", "02c5", "02C5"),
                entry("QO11\\empty.asp", "1A2B", "")};
  buildCustomizationsLog(site.env, info);

  std::vector<bool> flags;
  for (const auto& e : info.files) flags.push_back(e.customized);
  EXPECT_EQ(flags, (std::vector<bool>{false, true, false, false, false, true, false}));
  EXPECT_TRUE(info.hasCustomizedFiles);

  const std::string stars(88, '*');
  const std::string expected =
      stars + "\r\nThis logfile contains information about the installsection: Customizations\r\n" +
      stars + "\r\n\r\n" +
      "  The following files are changed after the last installation.\r\n"
      "  Current checksum\tMetabase checksum\t\tFile\r\n"
      "  1A2B\t\t\t3C4D\t\t\tQO11\\Q-Alder\\changed.asp\r\n"
      "  02c5\t\t\t02C5\t\t\tQO11\\case.asp\r\n";
  EXPECT_EQ(site.logText("Customizations"), expected);
  EXPECT_EQ(showCustomizationReport(site.env), expected);

  info.files.resize(1);  // the equal one only: nothing customized any more
  buildCustomizationsLog(site.env, info);
  EXPECT_FALSE(info.hasCustomizedFiles);
}

}  // namespace
}  // namespace qsi::customization
