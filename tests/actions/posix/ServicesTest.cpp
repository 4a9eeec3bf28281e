#include <gtest/gtest.h>

#include "actions/Services.h"
#include "support/Process.h"
#include "support/TestSite.h"

namespace qsi::actions {
namespace {

namespace fs = std::filesystem;

// A log as CLog writes it: lines starting "* " are section captions.
std::string expectedLog(std::string_view section, const std::vector<std::string>& lines) {
  const std::string stars(88, '*');
  std::string text = stars + "\r\nThis logfile contains information about the installsection: " +
                     std::string(section) + "\r\n" + stars + "\r\n\r\n";
  for (const auto& line : lines)
    text += line.starts_with("* ") ? "\r\n" + line + "\r\n\r\n" : "  " + line + "\r\n";
  return text;
}

// Stub commands, on a PATH of their own and in an installer folder whose name
// a shell or a split at blanks would misread, record their arguments. LDAPSVC
// and qosvc05.exe fail; W3SVC's stop hangs and is ended at its time limit. The
// Q-Orchard log is compared whole by the end-to-end run.
TEST(ServicesTest, StopsAndStartsEachServiceByItsOwnProgramAndLogsFailures) {
  test::TestSite site;
  const fs::path calls = site.root / "calls.txt";
  const fs::path folder = site.root / "my dir \"q\" $(touch pwned) ;x";
  const auto stub = [&](const fs::path& file) {
    test::writeScript(file, "echo \"${0##*/} $*\" >> '" + calls.string() + "'\ncase \" $* \" in " +
                                "*\" LDAPSVC \"*|*qosvc05*) exit 2;; *\" W3SVC /y \"*) " +
                                "exec /bin/sleep 60;; esac");
  };
  for (const fs::path& file : {site.root / "stubs/net", site.root / "stubs/mtxstop",
                               folder / "bin/stop.exe", site.root / "my"})
    stub(file);
  const test::ScopedEnv path{"PATH", (site.root / "stubs").string()};
  platform::PosixCommandRunner runner{std::chrono::seconds(1)};
  const platform::Environment env{site.registry, site.profiles, site.ui, folder, site.env.stamp};
  stopNTServices(env, runner);
  startNTServices(env, runner);
  stopQOServices(env, runner);

  std::string expectedCalls =
      "net stop IISADMIN /y\nnet stop LDAPSVC /y\nnet stop W3SVC /y\nmtxstop \n"
      "net start IISADMIN\nnet start LDAPSVC\nnet start W3SVC\n";
  for (int i = 1; i <= 11; ++i)
    expectedCalls += (i < 10 ? "stop.exe qosvc0" : "stop.exe qosvc") + std::to_string(i) + ".exe\n";
  EXPECT_EQ(test::readText(calls), expectedCalls);
  EXPECT_FALSE(fs::exists(site.root / "pwned"));
  const std::string stopFailed = " (service may not exist or may already be stopped)";
  EXPECT_EQ(site.logText("Stop Services"),
            expectedLog("Stop Services",
                        {"* Begin stopping the Windows NT services *", "Stopping service: IISADMIN",
                         "Stopped service : IISADMIN", "Stopping service: LDAPSVC",
                         "Error while stopping: LDAPSVC" + stopFailed, "Stopping service: W3SVC",
                         "The command net stop W3SVC /y did not end within its time limit and was "
                         "ended.",
                         "Error while stopping: W3SVC" + stopFailed, "Stopped service : MTS", "",
                         "* End stopping the Windows NT services *"}));
  EXPECT_EQ(site.logText("Start Services"),
            expectedLog("Start Services",
                        {"* Begin starting the Windows NT services *", "Starting service: IISADMIN",
                         "Started service : IISADMIN", "Starting service: LDAPSVC",
                         "Error while starting: LDAPSVC (service may not exist or may already be "
                         "started)",
                         "Starting service: W3SVC", "Started service : W3SVC",
                         "* End starting the Windows NT services *"}));
}

}  // namespace
}  // namespace qsi::actions
