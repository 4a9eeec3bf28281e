#include <gtest/gtest.h>

#include "actions/Services.h"
#include "support/Process.h"
#include "support/TestSite.h"

namespace qsi::actions {
namespace {

namespace fs = std::filesystem;

// Stubs, on a PATH of their own and in a folder a shell or a split at blanks would
// misread, note their arguments; LDAPSVC and qosvc05.exe fail, W3SVC's stop hangs,
// and there is no mtxstop. The end-to-end run compares the Q-Orchard log whole.
TEST(ServicesTest, StopsAndStartsEachServiceByItsOwnProgramAndLogsFailures) {
  test::TestSite site;
  const fs::path calls = site.root / "calls.txt";
  const fs::path folder = site.root / "my dir \"q\" $(touch pwned) ;x";
  const auto stub = [&](const fs::path& file) {
    test::writeScript(file, "echo \"${0##*/} $*\" >> '" + calls.string() + "'\ncase \" $* \" in " +
                                "*\" LDAPSVC \"*|*qosvc05*) exit 2;; *\" W3SVC /y \"*) " +
                                "exec /bin/sleep 60;; esac");
  };
  for (const fs::path& file : {site.root / "stubs/net", folder / "bin/stop.exe", site.root / "my"})
    stub(file);
  const test::ScopedEnv path{"PATH", (site.root / "stubs").string()};
  platform::PosixCommandRunner runner{std::chrono::seconds(3)};
  const platform::Environment env{site.registry,  site.profiles, site.ui, folder,
                                  site.env.stamp, nullptr,       nullptr, site.env.logRoot};
  stopNTServices(env, runner);
  startNTServices(env, runner);
  stopQOServices(env, runner);

  std::string expectedCalls =
      "net stop IISADMIN /y\nnet stop LDAPSVC /y\nnet stop W3SVC /y\n"
      "net start IISADMIN\nnet start LDAPSVC\nnet start W3SVC\n";
  for (int i = 1; i <= 11; ++i)
    expectedCalls += (i < 10 ? "stop.exe qosvc0" : "stop.exe qosvc") + std::to_string(i) + ".exe\n";
  EXPECT_EQ(test::readText(calls), expectedCalls);
  // Failures and the time limit are logged between the lines of their service; a program
  // that cannot be started, with the system's reason.
  const std::string stopLog = site.logText("Stop Services");
  for (const std::string line :
       {"Stopping service: LDAPSVC\r\n  Error while stopping: LDAPSVC (service may not exist or "
        "may already be stopped)\r\n",
        "Stopping service: W3SVC\r\n  The command net stop W3SVC /y did not end within its time "
        "limit and was ended.\r\n  Error while stopping: W3SVC (service",
        "Stopped service : IISADMIN\r\n",
        "Error while stopping: MTS: No such file or directory\r\n"})
    EXPECT_NE(stopLog.find(line), std::string::npos) << line;
  EXPECT_NE(site.logText("Start Services")
                .find("Error while starting: LDAPSVC (service may not exist or may already be "
                      "started)\r\n  Starting service: W3SVC\r\n  Started service : W3SVC"),
            std::string::npos);
}

}  // namespace
}  // namespace qsi::actions
