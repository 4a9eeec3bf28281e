#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "platform/RegFileRegistry.h"
#include "support/TestSite.h"

namespace qsi::platform {
namespace {

namespace fs = std::filesystem;

// Writers killed at random instants leave the old or the new file, whole.
TEST(RegFileRegistryKillTest, AWriteKilledMidwayLeavesTheOldOrTheNewFile) {
  const test::TestSite site;
  const fs::path file = site.write("store.reg", "");
  const auto write = [&](std::string_view text) { site.write("store.reg", text); };
  const std::string big(200'000, 'x');
  write("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"V\"=\"old\"\r\n");
  for (int round = 0; round < 20; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      RegFileRegistry writer(file);
      for (int i = 0;; ++i) writer.writeValue("K", "V", (i % 2 == 0 ? "new" : "old") + big);
    }
    usleep(static_cast<useconds_t>(2000 + round * 700));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    RegFileRegistry reader(file);
    const auto value = reader.readValue("K", "V");  // throws if torn
    ASSERT_TRUE(value);
    EXPECT_TRUE(*value == "old" || *value == "new" + big || *value == "old" + big);
  }
}

}  // namespace
}  // namespace qsi::platform
