#include <gtest/gtest.h>

#include <cstdlib>

#include "site/KeptJournals.h"
#include "site/RegistryAccess.h"
#include "site/RootKey.h"
#include "support/Faults.h"
#include "support/TestSite.h"

namespace qsi::site {
namespace {

const std::string kModules =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\"
    "Modules\\Q-Alder]\r\n\"Installed\"=\"1\"\r\n\"AppVersion\"=\"2.1.0.0\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\"
    "Modules\\Q-Birch]\r\n\"Installed\"=\"01\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\"
    "Modules\\Q-Cedar]\r\n\"Installed\"=\"yes\"\r\n";

TEST(RegistryAccess, ReadsModuleValuesAndEnumeratesModuleKeys) {
  test::TestSite site;
  site.writeRegistry(kModules);
  EXPECT_TRUE(isModuleInstalled(site.registry, "Q-Alder"));
  for (const char* module : {"Q-Birch", "Q-Cedar", "Q-Hazel"})  // "01" is not "1"
    EXPECT_FALSE(isModuleInstalled(site.registry, module)) << module;
  EXPECT_EQ(getModuleAppVersion(site.registry, "Q-Alder"), "2.1.0.0");
  EXPECT_EQ(getModuleAppVersion(site.registry, "Q-Birch"), "");
  EXPECT_EQ(readRegistryValue(site.registry, "SOFTWARE\\Nowhere", "X", "fallback"), "fallback");

  EXPECT_EQ(enumRegistrySubKeys(site.env, kModulesKey),
            (std::vector<std::string>{"Q-Alder", "Q-Birch", "Q-Cedar"}));
  EXPECT_EQ(enumRegistrySubKeys(site.env, moduleKey(kWebServerConfig, "Q-Alder")),
            std::vector<std::string>{""});  // no subkeys: one empty name
  EXPECT_TRUE(site.ui.boxes.empty());
  EXPECT_EQ(enumRegistrySubKeys(site.env, "SOFTWARE\\Nowhere"), std::nullopt);
  ASSERT_EQ(site.ui.boxes.size(), 1u);
  EXPECT_EQ(site.ui.boxes[0].text, "Key not available in registry: SOFTWARE\\Nowhere");
}

TEST(RootKey, MissingOrOversizedValuesReadAsEmptyText) {
  test::TestSite site;
  EXPECT_EQ(getInstMainDir(site.registry), site.instMainDir.string());
  EXPECT_EQ(getIISVirtId(site.registry), "1");
  EXPECT_EQ(getMemScriptCode(site.registry), "QO");
  EXPECT_EQ(logRootOf(site.registry), site.instMainDir / "QOLog");
  site.write("registry.reg",
             "Windows Registry Editor Version 5.00\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]\r\n"
             "\"InstallDir\"=\"C:\\\\Inst\"\r\n"
             "\"IISVirtId\"=\"1234567890\"\r\n"  // ten characters do not fit ten with the NUL
             "\"MemScriptCode\"=\"" +
                 std::string(39, 'm') + "\"\r\n");
  EXPECT_EQ(getInstMainDir(site.registry), "");  // not 255 NUL characters
  // No logs at the file system's root.
  EXPECT_NE(test::thrownText([&] { (void)logRootOf(site.registry); }).find("is not set"),
            std::string::npos);
  EXPECT_EQ(getInstallDir(site.registry), "C:\\Inst");
  EXPECT_EQ(getIISVirtId(site.registry), "");
  EXPECT_EQ(getMemScriptCode(site.registry), std::string(39, 'm'));
}

// How many runs keep their journals: a setting out of range is told and not taken.
TEST(KeptJournals, AWholeNumberFromOneToAThousandOrTheDefaultWithWhy) {
  test::TestSite site;
  for (const auto& [value, kept] :
       std::vector<std::pair<std::string, std::size_t>>{{"dword:0000000c", 12},
                                                        {"\"1000\"", 1000},
                                                        {"\"1001\"", 5},
                                                        {"dword:00000000", 5},
                                                        {"\"3x\"", 5},
                                                        {"hex(7):33,00,00,00,00,00", 5}}) {
    site.write("registry.reg",
               "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QSolutionInstaller]\r\n\"KeepJournals\"=" +
                   value + "\r\n");
    std::string problem;
    EXPECT_EQ(keptJournals(site.registry, problem), kept) << value;
    EXPECT_EQ(problem.empty(), kept != 5) << value << problem;
  }
#ifndef _WIN32
  ::setenv("QSI_KEEP_JOURNALS", "7", 1);
  std::string problem;
  EXPECT_EQ(keptJournals(site.registry, problem), 7u);
  ::unsetenv("QSI_KEEP_JOURNALS");
#endif
}

// Logs, saved files and the undo are written below InstMainDir: a root or
// a path that climbs would spread them over the machine.
TEST(RootKey, InstMainDirMustBeAnAbsoluteFolderBelowTheRoot) {
  const std::string root = std::filesystem::current_path().root_path().string();
  const std::pair<std::string, std::string> problems[] = {
      {root, "is a root"}, {"inst", "is no absolute path"}, {root + "a/../b", "has a \"..\" part"}};
  for (const auto& [folder, problem] : problems)
    EXPECT_EQ(instMainDirProblem(folder), "InstMainDir \"" + folder + "\" " + problem);
  EXPECT_EQ(instMainDirProblem(root + "inst"), std::nullopt);
}

}  // namespace
}  // namespace qsi::site
