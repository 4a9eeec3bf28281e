#include <gtest/gtest.h>

#include "actions/Services.h"
#include "support/Process.h"
#include "support/TestSite.h"

namespace qsi::actions {
namespace {

namespace fs = std::filesystem;

// Stub commands in a folder of their own, which is all PATH holds; each
// records its arguments, fails for the words in `failing` and hangs for those
// in `hanging`.
class ServicesTest : public ::testing::Test {
 protected:
  test::TestSite site;
  fs::path stubs = site.root / "stubs";
  fs::path calls = site.root / "calls.txt";
  platform::PosixCommandRunner runner{std::chrono::seconds(1)};
  test::ScopedEnv path{"PATH", stubs.string()};

  void stub(const fs::path& file, const std::string& failing,
            const std::string& hanging = "never") const {
    test::writeScript(file, "echo \"${0##*/} $*\" >> '" + calls.string() +
                                "'\ncase \" $* \" in *\" " + failing + " \"*) exit 2;; *\" " +
                                hanging + " \"*) exec /bin/sleep 60;; esac");
  }
};

// A log as CLog writes it: lines starting "* " are section captions.
std::string expectedLog(std::string_view section, const std::vector<std::string>& lines) {
  const std::string stars(88, '*');
  std::string text = stars + "\r\nThis logfile contains information about the installsection: " +
                     std::string(section) + "\r\n" + stars + "\r\n\r\n";
  for (const auto& line : lines)
    text += line.starts_with("* ") ? "\r\n" + line + "\r\n\r\n" : "  " + line + "\r\n";
  return text;
}

// W3SVC's stop hangs: it is ended at its time limit, logged so, and has failed.
TEST_F(ServicesTest, StopsAndStartsTheNtServicesWithTheirLogs) {
  stub(stubs / "net", "LDAPSVC", "W3SVC /y");
  stub(stubs / "mtxstop", "never");
  stopNTServices(site.env, runner);
  startNTServices(site.env, runner);
  EXPECT_EQ(test::readText(calls),
            "net stop IISADMIN /y\nnet stop LDAPSVC /y\nnet stop W3SVC /y\nmtxstop \n"
            "net start IISADMIN\nnet start LDAPSVC\nnet start W3SVC\n");
  EXPECT_EQ(site.logText("Stop Services"),
            expectedLog("Stop Services",
                        {"* Begin stopping the Windows NT services *", "Stopping service: IISADMIN",
                         "Stopped service : IISADMIN", "Stopping service: LDAPSVC",
                         "Error while stopping: LDAPSVC (service may not exist or may already be "
                         "stopped)",
                         "Stopping service: W3SVC",
                         "The command net stop W3SVC /y did not end within its time limit and was "
                         "ended.",
                         "Error while stopping: W3SVC (service may not exist or may already be "
                         "stopped)",
                         "Stopped service : MTS", "", "* End stopping the Windows NT services *"}));
  EXPECT_EQ(site.logText("Start Services"),
            expectedLog("Start Services",
                        {"* Begin starting the Windows NT services *", "Starting service: IISADMIN",
                         "Started service : IISADMIN", "Starting service: LDAPSVC",
                         "Error while starting: LDAPSVC (service may not exist or may already be "
                         "started)",
                         "Starting service: W3SVC", "Started service : W3SVC",
                         "* End starting the Windows NT services *"}));
  EXPECT_EQ(site.ui.progressText, "Start all Services");
  EXPECT_EQ(site.ui.progressDetail, "End starting the Windows NT services");
}

TEST_F(ServicesTest, AnInstallerFolderOfAnyNameRunsItsOwnStopProgramAndNothingElse) {
  const fs::path folder = site.root / "my dir \"q\" $(touch pwned) ;x";
  stub(folder / "bin" / "stop.exe", "qosvc05.exe");
  stub(site.root / "my", "none");  // what a split at the first blank would run
  const platform::Environment env{site.registry, site.profiles, site.ui, folder, site.env.stamp};
  stopQOServices(env, runner);

  std::string expectedCalls;
  std::vector<std::string> lines{"* Begin stopping the Q-Orchard services *"};
  for (int i = 1; i <= 11; ++i) {  // the suite's services qosvc01.exe to qosvc11.exe
    const std::string service = (i < 10 ? "qosvc0" : "qosvc") + std::to_string(i) + ".exe";
    expectedCalls += "stop.exe " + service + "\n";
    lines.push_back("Stopping service: " + service);
    lines.push_back(service == "qosvc05.exe"
                        ? "Error while stopping: qosvc05.exe (service may not exist or may "
                          "already be stopped)"
                        : "Stopped service : " + service);
  }
  lines.insert(lines.end(), {"", "* End stopping the Q-Orchard services *"});
  EXPECT_EQ(test::readText(calls), expectedCalls);
  EXPECT_EQ(site.logText("Stop Q-Orchard Services"), expectedLog("Stop Q-Orchard Services", lines));
  EXPECT_FALSE(fs::exists(site.root / "pwned"));
  EXPECT_EQ(site.ui.progressText, "Stop all Q-Orchard Services");
}

}  // namespace
}  // namespace qsi::actions
