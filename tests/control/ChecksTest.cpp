#include <gtest/gtest.h>

#include "control/Checks.h"
#include "platform/Failure.h"
#include "support/TestSite.h"

namespace qsi::control {
namespace {

const std::string kModules =
    "SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\Modules\\";

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
  void install(const std::string& module, const std::string& version,
               const std::string& installed = "1") const {
    site.writeRegistry("[HKEY_LOCAL_MACHINE\\" + kModules + module + "]\r\n\"Installed\"=\"" +
                       installed + "\"\r\n\"AppVersion\"=\"" + version + "\"\r\n");
  }
  // Runs a check that must end the program; returns the one message shown.
  template <typename Check>
  std::string refused(Check&& check) {
    try {
      check();
    } catch (const platform::EndProgram& end) {
      EXPECT_EQ(end.exitStatus, platform::EndProgram::kStopped);
      EXPECT_EQ(site.ui.boxes.size(), 1u);
      return site.ui.boxes.empty() ? "" : site.ui.boxes.back().text;
    }
    ADD_FAILURE() << "the check did not end the program";
    return {};
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
  EXPECT_EQ(site.ui.boxes.back().title, "QSolutionInstaller");
  EXPECT_EQ(site.ui.boxes.back().icon, platform::Icon::None);
}

TEST_F(Checks, AnUnregisteredProductPassesTheVersionCheckButIsRefusedAsNotInstalled) {
  EXPECT_TRUE(checkProductVersion(site.env, info, installedVersion));
  EXPECT_EQ(installedVersion, "");
  EXPECT_EQ(refused([&] { checkDependencyProduct(site.env, info); }),
            "Q-Alder is not installed yet,\r\n please install this product first!");
  install("Q-Alder", "2.1.0.0", "yes");
  site.ui.boxes.clear();
  EXPECT_EQ(refused([&] { checkDependencyProduct(site.env, info); }),
            "Q-Alder is not installed yet,\r\n please install this product first!");
}

TEST_F(Checks, AnEmptyPackageIsRefusedWithTheBareMessage) {
  const solution::SolutionInfo empty;
  EXPECT_TRUE(checkProductVersion(site.env, empty, installedVersion));
  EXPECT_EQ(refused([&] { checkDependencyProduct(site.env, empty); }),
            " is not installed yet,\r\n please install this product first!");
}

TEST_F(Checks, AnOlderDependencyOnlyWarns) {
  install("Q-Alder", "2.0.9.9");
  EXPECT_FALSE(checkDependencyProductVersion(site.env, info, installedVersion));
  ASSERT_EQ(site.ui.boxes.size(), 1u);
  EXPECT_EQ(site.ui.boxes[0].text,
            "Q-Alder 2.1.0.0 is not installed yet,\r\n please install this product first!");
  install("Q-Alder", "2.1.0.0");
  EXPECT_TRUE(checkDependencyProductVersion(site.env, info, installedVersion));
  EXPECT_EQ(site.ui.boxes.size(), 1u);
}

TEST_F(Checks, CommonVersionMustBeInstalledUnlessTheSolutionNamesNone) {
  EXPECT_EQ(
      refused([&] { checkDependencyCommonVersion(site.env, info, installedVersion); }),
      "Q-Common version 2.1.0.0 is not installed yet,\r\n please install this product first!");
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
