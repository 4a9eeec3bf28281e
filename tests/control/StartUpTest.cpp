#include <gtest/gtest.h>

#include "actions/ActionServices.h"
#include "control/Main.h"
#include "platform/Failure.h"
#include "platform/Paths.h"
#include "support/TestSite.h"

namespace qsi::control {
namespace {

namespace fs = std::filesystem;

class StartUp : public ::testing::Test {
 protected:
  test::TestSite site;
  test::FixedClock clock;
  test::ScriptedView view;
  actions::NativeActionServices actions{site.registry};
  Main main{Services{site.registry, site.profiles, clock, site.installer, actions.services()},
            view};
};

TEST_F(StartUp, ReadsThePackageAndLeavesTheStartedState) {
  site.writePackage("configuration files/Solution.info",
                    "[ReleaseInfo]\nProductName=Q-Alder\nVersion=2.1.1.0\n");
  // Runs of the same second took the stamp's folders: this run gets its own.
  const std::string stamp = site.env.stamp.installDateAndTimeFormat;
  fs::create_directories(site.instMainDir / "QOLog" / stamp);
  fs::create_directories(site.instMainDir / "QOCustomized" / (stamp + " (2)"));
  main.Form_Load();
  EXPECT_EQ(main.environment().stamp.runFolder, stamp + " (3)");
  EXPECT_TRUE(fs::exists(site.instMainDir / "QOLog" / (stamp + " (3)") /
                         "Gathering Solution Information.txt"));
  EXPECT_EQ(main.solutionInfo().productName, "Q-Alder");
  EXPECT_TRUE(view.boxes.empty());
  const MainWindowState& s = main.state();
  EXPECT_TRUE(s.cmdRetrieveInfoEnabled);
  EXPECT_FALSE(s.cmdStartEnabled || s.cmdCustimizationReportEnabled);
  EXPECT_TRUE(s.txtProgressText.empty() && s.txtProgressDetail.empty());
  EXPECT_TRUE(s.txtSolution.starts_with("ProductName    : Q-Alder\r\n"));
  ASSERT_FALSE(view.refreshes.empty());
  EXPECT_EQ(view.refreshes.front().second, "Reading the solution information");
  // The run is stamped at start-up by the clock it is given.
  EXPECT_EQ(main.environment().stamp.installDateAndTimeFormat,
            platform::makeRunStamp(clock.now()).installDateAndTimeFormat);
}

TEST_F(StartUp, WithoutSolutionInfoShowsTwoBoxesAndKeepsRunning) {
  site.writePackage("configuration files/Q-Alder.ini", "[ReleaseInfo]\nVersion=2\n");
  main.Form_Load();
  const std::string missing =
      "Solution.info file not available at: " +
      platform::displayPath(site.installer / "Solution" / "configuration files", true);
  ASSERT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(view.boxes[0].text, missing);
  EXPECT_EQ(view.boxes[1].text, "Solution info could not be found in the Solution.info file");
  for (const auto& box : view.boxes) {
    EXPECT_EQ(box.title, "QSolutionInstaller");
    EXPECT_EQ(box.buttons, platform::Buttons::OK);
    EXPECT_EQ(box.icon, platform::Icon::None);
  }
  EXPECT_TRUE(main.solutionInfo().modules.empty());  // nothing more is read
  EXPECT_NE(site.logText("Gathering Solution Information").find("  " + missing + "\r\n"),
            std::string::npos);
  EXPECT_TRUE(main.state().cmdRetrieveInfoEnabled);
}

// A package without its configuration folder ends the program at start-up
// before anything on the site changes; the end-to-end run shows the same of
// a package with entries that could lead elsewhere.
TEST_F(StartUp, AnUnreadablePackageEndsTheProgramLeavingTheSiteAsItWas) {
  site.write("inst/QO11/Q-Alder/default.asp", "ours");
  const std::string before = site.snapshot();
  try {
    main.Form_Load();
    ADD_FAILURE() << "the program must end";
  } catch (const platform::EndProgram& end) {
    EXPECT_EQ(end.exitStatus, platform::EndProgram::kFailed);
  }
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].icon, platform::Icon::Critical);
  EXPECT_EQ(view.boxes[0].text,
            "Error 1010 in readSolutionInfo:\r\nError reading the solution info!\r\n"
            "Error retrieving the modulenames!");
  EXPECT_EQ(site.snapshot(), before);
}

}  // namespace
}  // namespace qsi::control
