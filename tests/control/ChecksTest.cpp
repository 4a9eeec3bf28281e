#include <gtest/gtest.h>

#include <functional>

#include "control/Checks.h"
#include "platform/Failure.h"
#include "support/TestSite.h"

namespace qsi::control {
namespace {

const std::string kPleaseInstall = " is not installed yet,\r\n please install this product first!";

// The dependency has its own name, so that a message naming the product would show.
TEST(Checks, PassOrShowWhyNotEndingTheProgramWhenTheyRefuse) {
  test::TestSite site;
  solution::SolutionInfo info;
  info.productName = "Q-Alder";
  info.version = version::Version("2.1.1.0");
  info.dependencyProductName = "Q-Dep";
  info.dependencyVersion = info.commonVersion = version::Version("2.1.0.0");
  std::string installed;
  solution::SolutionInfo noCommon = info;
  noCommon.commonVersion = {};

  using Check = std::function<bool()>;
  const Check product = [&] { return checkProductVersion(site.env, info, installed); };
  const Check dependency = [&] { return checkDependencyProduct(site.env, info); };
  const Check withoutInfo = [&] { return checkDependencyProduct(site.env, {}); };
  const Check dependencyVersion = [&] {
    return checkDependencyProductVersion(site.env, info, installed);
  };
  const Check common = [&] { return checkDependencyCommonVersion(site.env, info, installed); };
  const Check noneNamed = [&] {
    return checkDependencyCommonVersion(site.env, noCommon, installed);
  };
  struct Case {
    const Check& check;
    std::string module, version, shown, installed;
  };
  const Case cases[] = {
      {product, "Q-Alder", "2.1.1.0", "", "2.1.1.0"},
      {product, "Q-Alder", "2.1.0.9", "", "2.1.0.9"},
      {product, "Q-Alder", "2.2", "ended: Q-Alder is already up to date!", "2.2"},
      {product, "", "", "", ""},  // not installed: refused by the next check
      {dependency, "", "", "ended: Q-Dep" + kPleaseInstall, ""},
      {withoutInfo, "", "", "ended: " + kPleaseInstall, ""},
      {dependency, "Q-Alder", "1", "", ""},
      {dependencyVersion, "Q-Alder", "2.0.9.9", "warned: Q-Dep 2.1.0.0" + kPleaseInstall,
       "2.0.9.9"},
      {dependencyVersion, "Q-Alder", "2.1.0.0", "", "2.1.0.0"},
      {common, "", "", "ended: Q-Common version 2.1.0.0" + kPleaseInstall, ""},
      {common, "Q-Common", "2.1.0.0", "", "2.1.0.0"},
      {noneNamed, "", "", "", ""},
  };
  for (const Case& c : cases) {
    site.writeRegistry(c.module.empty() ? ""
                                        : "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane "
                                          "Q-Orchard\\ConfigTypes\\WebServerConfig\\Modules\\" +
                                              c.module + "]\r\n\"Installed\"=\"1\"\r\n" +
                                              "\"AppVersion\"=\"" + c.version + "\"\r\n");
    site.ui.boxes.clear();
    installed.clear();
    std::string shown;
    try {
      shown = c.check() ? "" : "warned: ";
    } catch (const platform::EndProgram& end) {
      EXPECT_EQ(end.exitStatus, platform::EndProgram::kStopped);
      shown = "ended: ";
    }
    for (const auto& box : site.ui.boxes) {
      shown += box.text;
      EXPECT_TRUE(box.title == "QSolutionInstaller" && box.icon == platform::Icon::None)
          << box.text;
    }
    EXPECT_EQ(shown, c.shown) << c.module << " " << c.version;
    EXPECT_EQ(installed, c.installed) << c.module << " " << c.version;
  }
}

}  // namespace
}  // namespace qsi::control
