#include <gtest/gtest.h>

#include "actions/Services.h"
#include "support/Process.h"
#include "support/TestSite.h"

namespace qsi::actions {
namespace {

namespace fs = std::filesystem;

// The stop program is started through CreateProcessA by its short path, which
// has no blanks; its exit code tells the service that failed.
TEST(ServicesWin32Test, TheStopProgramRunsFromAFolderWithBlanksByItsShortPath) {
  const test::TestSite site;
  const fs::path calls = site.root / "calls.txt";
  const test::ScopedEnv noted("QSI_STUB_CALLS", calls.string());
  const test::ScopedEnv failing("QSI_STUB_FAIL", "qosvc05.exe");
  const fs::path folder = site.root / "Q-Orchard Solution Installer";
  fs::create_directories(folder / "bin");
  fs::copy_file(QSI_STUB_STOP_EXE, folder / "bin" / "stop.exe");
  EXPECT_EQ(getShortPath(folder).string().find(' '), std::string::npos);
  EXPECT_TRUE(fs::equivalent(getShortPath(folder), folder));
  const platform::Environment env{site.registry, site.profiles, site.ui, folder, site.env.stamp};
  platform::NativeCommandRunner runner;
  stopQOServices(env, runner);

  std::string expectedCalls;
  for (const auto& service : getQOServices()) expectedCalls += "stop.exe " + service + "\n";
  EXPECT_EQ(test::readText(calls), expectedCalls);
  const std::string log = site.logText("Stop Q-Orchard Services");
  EXPECT_NE(log.find("  Stopped service : qosvc04.exe\r\n  Stopping service: qosvc05.exe\r\n"
                     "  Error while stopping: qosvc05.exe"),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace qsi::actions
