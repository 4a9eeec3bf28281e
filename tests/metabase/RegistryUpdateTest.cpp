#include <gtest/gtest.h>

#include "metabase/RegistryUpdate.h"
#include "site/RegistryAccess.h"
#include "support/MetabaseFixture.h"

namespace qsi::metabase {
namespace {

class RegistryUpdateTest : public test::MetabaseTest {
 protected:
  std::string appVersion(std::string_view config, std::string_view moduleName) {
    return site::readRegistryValue(site.registry, site::moduleKey(config, moduleName), "AppVersion",
                                   "<none>");
  }
  solution::SolutionInfo info = [] {
    solution::SolutionInfo s;
    s.modules = {test::moduleInfo("Q-Common", "11.1.0.2"), test::moduleInfo("Q-Maple", "2.1.1.0")};
    return s;
  }();
};

TEST_F(RegistryUpdateTest, WritesThreePartVersionsUnderTheSectionsKeysOnly) {
  updateRegistryModulesInfo(site.env, info, "WebServer");
  EXPECT_EQ(appVersion(site::kWebServerConfig, "Q-Common"), "11.1.0");
  EXPECT_EQ(appVersion(site::kDbServerConfig, "Q-Common"), "<none>");
  EXPECT_EQ(appVersion(site::kWebServerConfig, "Q-Alder"), "1.0.0.0");  // not in the solution
  EXPECT_FALSE(
      site.registry.readValue(site::moduleKey(site::kWebServerConfig, "Q-Maple"), "").has_value());
  EXPECT_FALSE(site.registry.subKeys(site::moduleKey(site::kWebServerConfig, "Q-Maple")));

  updateRegistryModulesInfo(site.env, info, "DbServer");
  EXPECT_EQ(appVersion(site::kDbServerConfig, "Q-Common"), "11.1.0");
  EXPECT_FALSE(site.registry.subKeys(site::moduleKey(site::kDbServerConfig, "Q-Maple")));

  const std::string before = test::readText(site.registryFile);
  updateRegistryModulesInfo(site.env, info, "Elsewhere");
  EXPECT_EQ(test::readText(site.registryFile), before);
}

}  // namespace
}  // namespace qsi::metabase
