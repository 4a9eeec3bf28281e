#include <gtest/gtest.h>

#include "platform/Failure.h"
#include "platform/Text.h"
#include "site/SiteInformation.h"
#include "support/Faults.h"
#include "support/MetabaseFixture.h"

namespace qsi::site {
namespace {

const std::string kConfig = test::kConfig + "WebServerConfig\\";

class ReadSiteInfo : public ::testing::Test {
 protected:
  test::TestSite site;
  log::CLog log{site.env};

  // What went wrong underneath.
  std::string expectUnreadable() {
    try {
      (void)readSiteInfo(site.env, log);
      ADD_FAILURE() << "the site must not read";
    } catch (const platform::Failure& failure) {
      EXPECT_EQ(failure.source() + ": " + failure.description(),
                "readSiteInfo: Could not read the Siteinformation.");
      return failure.cause();
    }
    return {};
  }
};

TEST_F(ReadSiteInfo, TwoInstalledModulesAreShownAndLogged) {
  site.writeRegistry(kConfig + "Modules\\Q-Common]\r\n\"AppVersion\"=\"2.1.0.0\"\r\n" + kConfig +
                     "Modules\\Q-Alder]\r\n\"Installed\"=\"1\"\r\n");
  const SiteInfo info = readSiteInfo(site.env, log);
  EXPECT_TRUE(info.available);
  EXPECT_EQ(info.instMainDir, site.instMainDir.string());
  EXPECT_EQ(info.modules.size(), 2u);
  EXPECT_EQ(site.ui.current, "Installed Modules\r\nQ-Alder : \r\nQ-Common : 2.1.0.0\r\n");
  EXPECT_TRUE(site.ui.boxes.empty());
}

TEST_F(ReadSiteInfo, MissingModulesKeyShowsTheKeyBoxFirstAKeyWithoutSubkeysNone) {
  expectUnreadable();
  ASSERT_EQ(site.ui.boxes.size(), 1u);
  EXPECT_EQ(site.ui.boxes[0].text,
            "Key not available in registry: SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\"
            "WebServerConfig\\Modules");
  site.writeRegistry(kConfig + "Modules]\r\n");
  expectUnreadable();
  EXPECT_EQ(site.ui.boxes.size(), 1u);
}

TEST_F(ReadSiteInfo, IISVirtIdMustBeAWholeNumberOrAFraction) {
  const std::string modules = kConfig + "Modules\\Q-Alder]\r\n";
  const auto withId = [&](const std::string& id) {
    site.write("registry.reg",
               "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]\r\n\"InstMainDir\"=\"" +
                   test::regText(site.instMainDir.string()) + "\"\r\n" + id + "\r\n" + modules);
  };
  withId("\"IISVirtId\"=\"2.6\"");
  EXPECT_EQ(readSiteInfo(site.env, log).iisVirtId, 3);
  for (const char* bad : {"", "\"IISVirtId\"=\"web\"", "\"IISVirtId\"=\"9999999999\""}) {
    withId(bad);
    expectUnreadable();
  }
}

// A version of another type would read as blank, as that of a module never
// installed: the run is refused, the key, the value and its type named.
TEST_F(ReadSiteInfo, AVersionOfAnotherTypeThanAStringIsRefusedWithItsType) {
  site.writeRegistry(kConfig + "Modules\\Q-Alder]\r\n\"AppVersion\"=hex(7):32,00,00,00,00,00\r\n");
  EXPECT_EQ(expectUnreadable(), "The registry value \"AppVersion\" of key " + kConfig.substr(1) +
                                    "Modules\\Q-Alder is of type REG_MULTI_SZ, not a string: the "
                                    "version it holds cannot be read.");
}

// The installer's record speaks where the suite's key tells no version, and
// only with a version that compares; what it cannot use is logged.
TEST_F(ReadSiteInfo, TheInstallersRecordFillsOnlyWhatTheSuitesKeysLeaveOpen) {
  const std::string record = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QSolutionInstaller\\Installed\\";
  site.writeRegistry(kConfig + "Modules\\Q-Alder]\r\n\"AppVersion\"=\"2.1.0.0\"\r\n" + kConfig +
                     "Modules\\Q-Common]\r\n" + record +
                     "WebServer\\Q-Alder]\r\n\"Version\"=\"9.0\"\r\n" + record +
                     "WebServer\\Q-Common]\r\n\"Version\"=\"2.2\"\r\n\"Run\"=\"R1\"\r\n" + record +
                     "WebServer\\Q-Maple]\r\n\"Version\"=\"2.1.1.0\"\r\n" + record +
                     "WebServer\\Q-Oak]\r\n\"Version\"=\"2.x\"\r\n" + record +
                     "WebServer\\Q-Pine]\r\n\"Run\"=\"R2\"\r\n" + record +
                     "DbServer\\Q-Rowan]\r\n\"Version\"=\"1.0\"\r\n");
  const SiteInfo info = readSiteInfo(site.env, log);
  std::string modules;
  for (const auto& module : info.modules)
    modules += module.name + "=" + module.version.text() + " ";
  EXPECT_EQ(modules, "Q-Alder=2.1.0.0 Q-Common=2.2 Q-Maple=2.1.1.0 ");
  EXPECT_TRUE(site.ui.current.ends_with("Q-Maple : 2.1.1.0 (recorded by the installer)\r\n"))
      << site.ui.current;
  const std::string logged = site.logText("Gathering Current Site Information");
  for (const std::string line :
       {"  Q-Common\t\t2.2\t(the run of R1)\r\n",
        "  The installer's record of the module \"Q-Oak\" is passed over: its version \"2.x\" "
        "cannot be compared.\r\n",
        "  The installer's record of the module \"Q-Pine\" is passed over: it holds no "
        "version.\r\n"})
    EXPECT_NE(logged.find(line), std::string::npos) << line << logged;
  // A module is recorded where the suite's key has no version; never lowered.
  const solution::ModuleInfo alder = test::moduleInfo("Q-Alder", "3.0");
  recordInstalledModules(site.registry, "DbServer", {test::moduleInfo("Q-Rowan", "0.9"), alder},
                         "R3");
  recordInstalledModules(site.registry, "WebServer", {alder}, "R3");
  const std::string key = std::string(kInstallerKey) + "\\Installed\\";
  EXPECT_EQ(site.registry.readValue(key + "DbServer\\Q-Rowan", "Version"), "1.0");
  EXPECT_EQ(site.registry.readValue(key + "DbServer\\Q-Alder", "Run"), "R3");
  EXPECT_EQ(site.registry.readValue(key + "WebServer\\Q-Alder", "Version"), "9.0");
}

}  // namespace
}  // namespace qsi::site
