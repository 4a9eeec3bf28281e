#include <gtest/gtest.h>

#include "control/Checks.h"
#include "platform/Failure.h"
#include "support/TestSite.h"

namespace qsi::control {
namespace {

const std::string kPleaseInstall = " is not installed yet,\r\n please install this product first!";

class Checks : public ::testing::Test {
 protected:
  test::TestSite site;
  solution::SolutionInfo info;
  std::string installedVersion;

  Checks() {
    info.productName = "Q-Alder";
    info.version = "2.1.1.0";
    info.dependencyProductName = "Q-Alder";
    info.dependencyVersion = "2.1.0.0";
    info.commonVersion = "2.1.0.0";
  }
  void install(const std::string& module, const std::string& version) const {
    site.writeRegistry(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\"
        "WebServerConfig\\Modules\\" +
        module + "]\r\n\"Installed\"=\"1\"\r\n\"AppVersion\"=\"" + version + "\"\r\n");
  }
  // Runs a check that must end the program; returns the one message shown,
  // which has the application's title and no icon.
  template <typename Check>
  std::string refused(Check&& check) {
    site.ui.boxes.clear();
    try {
      check();
    } catch (const platform::EndProgram& end) {
      EXPECT_EQ(end.exitStatus, platform::EndProgram::kStopped);
      if (site.ui.boxes.size() != 1u) return "boxes shown: " + std::to_string(site.ui.boxes.size());
      const auto& box = site.ui.boxes[0];
      EXPECT_EQ(box.title, "QSolutionInstaller");
      EXPECT_EQ(box.icon, platform::Icon::None);
      EXPECT_EQ(box.buttons, platform::Buttons::OK);
      return box.text;
    }
    return "the check did not end the program";
  }
};

TEST_F(Checks, EqualOrOlderInstalledProductPassesNewerIsRefused) {
  install("Q-Alder", "2.1.1.0");
  EXPECT_TRUE(checkProductVersion(site.env, info, installedVersion));
  EXPECT_EQ(installedVersion, "2.1.1.0");
  install("Q-Alder", "2.1.0.9");
  EXPECT_TRUE(checkProductVersion(site.env, info, installedVersion));
  install("Q-Alder", "2.2");
  EXPECT_EQ(refused([&] { checkProductVersion(site.env, info, installedVersion); }),
            "Q-Alder is already up to date!");
}

TEST_F(Checks, AnUnregisteredProductPassesTheVersionCheckButIsRefusedAsNotInstalled) {
  EXPECT_TRUE(checkProductVersion(site.env, info, installedVersion));
  EXPECT_EQ(installedVersion, "");
  info.dependencyProductName = "Q-Dep";  // the message names the dependency
  EXPECT_EQ(refused([&] { checkDependencyProduct(site.env, info); }), "Q-Dep" + kPleaseInstall);
  const solution::SolutionInfo empty;  // a package without Solution.info
  EXPECT_TRUE(checkProductVersion(site.env, empty, installedVersion));
  EXPECT_EQ(refused([&] { checkDependencyProduct(site.env, empty); }), kPleaseInstall);
  install("Q-Alder", "1");
  EXPECT_TRUE(checkDependencyProduct(site.env, info));
}

TEST_F(Checks, AnOlderDependencyOnlyWarns) {
  install("Q-Alder", "2.0.9.9");
  EXPECT_FALSE(checkDependencyProductVersion(site.env, info, installedVersion));
  ASSERT_EQ(site.ui.boxes.size(), 1u);
  EXPECT_EQ(site.ui.boxes[0].text, "Q-Alder 2.1.0.0" + kPleaseInstall);
  install("Q-Alder", "2.1.0.0");
  EXPECT_TRUE(checkDependencyProductVersion(site.env, info, installedVersion));
  EXPECT_EQ(site.ui.boxes.size(), 1u);
}

TEST_F(Checks, CommonVersionMustBeInstalledUnlessTheSolutionNamesNone) {
  EXPECT_EQ(refused([&] { checkDependencyCommonVersion(site.env, info, installedVersion); }),
            "Q-Common version 2.1.0.0" + kPleaseInstall);
  install("Q-Common", "2.1.0.0");
  site.ui.boxes.clear();
  EXPECT_TRUE(checkDependencyCommonVersion(site.env, info, installedVersion));
  EXPECT_EQ(installedVersion, "2.1.0.0");
  info.commonVersion.clear();
  install("Q-Alder", "1");
  EXPECT_TRUE(checkDependencyCommonVersion(site.env, info, installedVersion));
  EXPECT_TRUE(site.ui.boxes.empty());
}

}  // namespace
}  // namespace qsi::control
