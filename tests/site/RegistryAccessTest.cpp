#include <gtest/gtest.h>

#include "site/RegistryAccess.h"
#include "support/TestSite.h"

namespace qsi::site {
namespace {

const std::string kModules =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig]\r\n"
    "\"Hostname\"=\"WEB01\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\"
    "SQL Server]\r\n\"Server\"=\"SQL01\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\"
    "Modules\\Q-Alder]\r\n\"Installed\"=\"1\"\r\n\"AppVersion\"=\"2.1.0.0\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\"
    "Modules\\Q-Birch]\r\n\"Installed\"=\"01\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\"
    "Modules\\Q-Cedar]\r\n\"Installed\"=\"yes\"\r\n";

TEST(RegistryAccess, ReadsTheSuiteValuesBelowTheRootKey) {
  test::TestSite site;
  site.writeRegistry(kModules);
  EXPECT_EQ(getHostname(site.registry), "WEB01");
  EXPECT_EQ(getSqlServerName(site.registry), "SQL01");
  EXPECT_TRUE(isModuleInstalled(site.registry, "Q-Alder"));
  EXPECT_FALSE(isModuleInstalled(site.registry, "Q-Birch"));  // "01" is not "1"
  EXPECT_FALSE(isModuleInstalled(site.registry, "Q-Cedar"));
  EXPECT_FALSE(isModuleInstalled(site.registry, "Q-Hazel"));
  EXPECT_EQ(getModuleAppVersion(site.registry, "Q-Alder"), "2.1.0.0");
  EXPECT_EQ(getModuleAppVersion(site.registry, "Q-Birch"), "");
  EXPECT_EQ(readRegistryValue(site.registry, "SOFTWARE\\Nowhere", "X", "fallback"), "fallback");

  const auto key = moduleKey(kWebServerConfig, "Q-Birch");
  EXPECT_TRUE(writeRegistryValue(site.registry, key, "AppVersion", "3.0.1"));
  EXPECT_EQ(readRegistryValue(site.registry, key, "AppVersion", ""), "3.0.1");
  EXPECT_FALSE(writeRegistryValue(site.registry, moduleKey(kDbServerConfig, "Q-Birch"),
                                  "AppVersion", "3.0.1"));
  EXPECT_FALSE(writeRegistryValue(site.registry, key + "\\New", "AppVersion", "3.0.1"));
}

TEST(RegistryAccess, EnumeratesSubkeysAndTellsWhenTheKeyIsMissing) {
  test::TestSite site;
  site.writeRegistry(kModules);
  const auto names = enumRegistrySubKeys(site.env, kModulesKey);
  ASSERT_TRUE(names);
  EXPECT_EQ(*names, (std::vector<std::string>{"Q-Alder", "Q-Birch", "Q-Cedar"}));
  EXPECT_TRUE(site.ui.boxes.empty());

  const auto leaf = enumRegistrySubKeys(site.env, moduleKey(kWebServerConfig, "Q-Alder"));
  EXPECT_EQ(leaf, std::vector<std::string>{""});  // no subkeys: one empty name

  EXPECT_EQ(enumRegistrySubKeys(site.env, "SOFTWARE\\Nowhere"), std::nullopt);
  ASSERT_EQ(site.ui.boxes.size(), 1u);
  EXPECT_EQ(site.ui.boxes[0].text, "Key not available in registry: SOFTWARE\\Nowhere");
  EXPECT_EQ(site.ui.boxes[0].title, "QSolutionInstaller");
}

TEST(RootKey, MissingOrOversizedValuesReadAsEmptyText) {
  test::TestSite site;
  EXPECT_EQ(getInstMainDir(site.registry), site.instMainDir.string());
  EXPECT_EQ(getIISVirtId(site.registry), "1");
  EXPECT_EQ(getMemScriptCode(site.registry), "QO");
  site.write("registry.reg",
             "Windows Registry Editor Version 5.00\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]\r\n"
             "\"InstallDir\"=\"C:\\\\Inst\"\r\n"
             "\"IISVirtId\"=\"1234567890\"\r\n"  // ten characters do not fit ten with the NUL
             "\"MemScriptCode\"=\"" +
                 std::string(39, 'm') + "\"\r\n");
  EXPECT_EQ(getInstMainDir(site.registry), "");  // not 255 NUL characters
  EXPECT_EQ(getInstallDir(site.registry), "C:\\Inst");
  EXPECT_EQ(getIISVirtId(site.registry), "");
  EXPECT_EQ(getMemScriptCode(site.registry), std::string(39, 'm'));
}

}  // namespace
}  // namespace qsi::site
