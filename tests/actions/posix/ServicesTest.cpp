#include <gtest/gtest.h>

#include "actions/Recording.h"
#include "actions/Services.h"
#include "log/CLog.h"
#include "support/TestSite.h"

namespace qsi::actions {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeadOpen =
    "****************************************************************************************\r\n"
    "This logfile contains information about the installsection: ";
constexpr std::string_view kHeadClose =
    "\r\n****************************************************************************************"
    "\r\n\r\n";

// Stub commands in a folder of their own, which is all PATH holds; each
// records its arguments and fails for the names in `failing`.
class ServicesTest : public ::testing::Test {
 protected:
  test::TestSite site;
  fs::path stubs = site.root / "stubs";
  fs::path calls = site.root / "calls.txt";
  platform::PosixCommandRunner runner;
  test::ScopedEnv path{"PATH", stubs.string()};

  void SetUp() override { fs::create_directories(stubs); }
  fs::path stub(const fs::path& file, std::string_view failing) const {
    fs::create_directories(file.parent_path());
    site.write(fs::relative(file, site.root).string(),
               "#!/bin/sh\necho \"${0##*/} $*\" >> '" + calls.string() +
                   "'\ncase \" $* \" in *\" " + std::string(failing) + " \"*) exit 2;; esac\n");
    fs::permissions(file, fs::perms::owner_all);
    return file;
  }
  [[nodiscard]] std::string log(std::string_view section) const {
    return test::readText(log::CLog::logFilePath(site.env, section));
  }
};

std::string expectedLog(std::string_view section, const std::vector<std::string>& lines) {
  std::string text = std::string(kHeadOpen) + std::string(section) + std::string(kHeadClose);
  for (const auto& line : lines)
    text += line.starts_with("* ") ? "\r\n" + line + "\r\n\r\n" : "  " + line + "\r\n";
  return text;
}

TEST_F(ServicesTest, StopsAndStartsTheNtServicesWithTheirLogs) {
  stub(stubs / "net", "LDAPSVC");
  stub(stubs / "mtxstop", "never");
  stopNTServices(site.env, runner);
  startNTServices(site.env, runner);
  EXPECT_EQ(test::readText(calls),
            "net stop IISADMIN /y\nnet stop LDAPSVC /y\nnet stop W3SVC /y\nmtxstop \n"
            "net start IISADMIN\nnet start LDAPSVC\nnet start W3SVC\n");
  EXPECT_EQ(log("Stop Services"),
            expectedLog("Stop Services",
                        {"* Begin stopping the Windows NT services *", "Stopping service: IISADMIN",
                         "Stopped service : IISADMIN", "Stopping service: LDAPSVC",
                         "Error while stopping: LDAPSVC (service may not exist or may already be "
                         "stopped)",
                         "Stopping service: W3SVC", "Stopped service : W3SVC",
                         "Stopped service : MTS", "", "* End stopping the Windows NT services *"}));
  EXPECT_EQ(log("Start Services"),
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

TEST_F(ServicesTest, ACommandThatCannotStartHasFailedInEveryOperation) {
  stopNTServices(site.env, runner);  // no net, no mtxstop, no bin/stop.exe
  stopQOServices(site.env, runner);
  startNTServices(site.env, runner);
  const std::string logs =
      log("Stop Services") + log("Stop Q-Orchard Services") + log("Start Services");
  std::size_t errors = 0;
  for (auto at = logs.find("Error while"); at != std::string::npos; at = logs.find("Error", at + 1))
    ++errors;
  EXPECT_EQ(errors, 4u + 11u + 3u);
  EXPECT_EQ(logs.find("ed service : "), std::string::npos);
}

TEST_F(ServicesTest, AnInstallerFolderOfAnyNameRunsItsOwnStopProgramAndNothingElse) {
  const fs::path folder = site.root / "my dir \"q\" $(touch pwned) ;x";
  stub(folder / "bin" / "stop.exe", "qosvc05.exe");
  stub(site.root / "my", "none");  // what a split at the first blank would run
  const platform::Environment env{site.registry, site.profiles, site.ui, folder, site.env.stamp};
  stopQOServices(env, runner);

  std::string expectedCalls;
  std::vector<std::string> lines{"* Begin stopping the Q-Orchard services *"};
  for (const auto& service : getQOServices()) {
    expectedCalls += "stop.exe " + service + "\n";
    lines.push_back("Stopping service: " + service);
    lines.push_back(service == "qosvc05.exe"
                        ? "Error while stopping: qosvc05.exe (service may not exist or may "
                          "already be stopped)"
                        : "Stopped service : " + service);
  }
  lines.insert(lines.end(), {"", "* End stopping the Q-Orchard services *"});
  EXPECT_EQ(test::readText(calls), expectedCalls);
  EXPECT_EQ(log("Stop Q-Orchard Services"), expectedLog("Stop Q-Orchard Services", lines));
  EXPECT_FALSE(fs::exists(site.root / "pwned"));
  EXPECT_EQ(site.ui.progressText, "Stop all Q-Orchard Services");
}

}  // namespace
}  // namespace qsi::actions
