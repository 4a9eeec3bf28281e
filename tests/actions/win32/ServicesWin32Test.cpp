#include <gtest/gtest.h>

#include "actions/Recording.h"
#include "actions/Services.h"
#include "support/TestSite.h"

namespace qsi::actions {
namespace {

namespace fs = std::filesystem;

// The log as CLog writes it: lines starting with "* " are sections.
std::string logOf(std::string_view section, const std::vector<std::string>& lines) {
  const std::string stars(88, '*');
  std::string text = stars + "\r\nThis logfile contains information about the installsection: " +
                     std::string(section) + "\r\n" + stars + "\r\n\r\n";
  for (const auto& line : lines)
    text += line.starts_with("* ") ? "\r\n" + line + "\r\n\r\n" : "  " + line + "\r\n";
  return text;
}

// The commands run through CreateProcessA: Wine's own net, which refuses
// "/y" and knows none of the services; no mtxstop; the stand-in stop program.
class ServicesWin32Test : public ::testing::Test {
 protected:
  test::TestSite site;
  fs::path calls = site.root / "calls.txt";
  test::ScopedEnv noted{"QSI_STUB_CALLS", calls.string()};
  test::ScopedEnv failing{"QSI_STUB_FAIL", "qosvc05.exe"};
  platform::NativeCommandRunner runner;
};

TEST_F(ServicesWin32Test, NetAndMtxstopFailingGiveTheirErrorLinesAndTheRunGoesOn) {
  stopNTServices(site.env, runner);
  startNTServices(site.env, runner);
  std::vector<std::string> stop{"* Begin stopping the Windows NT services *"};
  std::vector<std::string> start{"* Begin starting the Windows NT services *"};
  for (const auto& service : getNTServices()) {
    stop.push_back("Stopping service: " + service);
    stop.push_back("Error while stopping: " + service +
                   " (service may not exist or may already be stopped)");
    start.push_back("Starting service: " + service);
    start.push_back("Error while starting: " + service +
                    " (service may not exist or may already be started)");
  }
  stop.insert(stop.end(),
              {"Error while stopping: MTS", "", "* End stopping the Windows NT services *"});
  start.push_back("* End starting the Windows NT services *");
  EXPECT_EQ(site.logText("Stop Services"), logOf("Stop Services", stop));
  EXPECT_EQ(site.logText("Start Services"), logOf("Start Services", start));
}

TEST_F(ServicesWin32Test, TheStopProgramRunsFromAFolderWithBlanksByItsShortPath) {
  const fs::path folder = site.root / "Q-Orchard Solution Installer";
  fs::create_directories(folder / "bin");
  fs::copy_file(QSI_STUB_STOP_EXE, folder / "bin" / "stop.exe");
  EXPECT_EQ(getShortPath(folder).string().find(' '), std::string::npos);
  EXPECT_TRUE(fs::equivalent(getShortPath(folder), folder));
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
  EXPECT_EQ(site.logText("Stop Q-Orchard Services"), logOf("Stop Q-Orchard Services", lines));
}

}  // namespace
}  // namespace qsi::actions
