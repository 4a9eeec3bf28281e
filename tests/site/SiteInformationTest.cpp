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

  void expectUnreadable() {
    try {
      (void)readSiteInfo(site.env, log);
      FAIL() << "the site must not read";
    } catch (const platform::Failure& failure) {
      EXPECT_EQ(failure.source() + ": " + failure.description(),
                "readSiteInfo: Could not read the Siteinformation.");
    }
  }
};

TEST_F(ReadSiteInfo, TwoInstalledModulesAreShownAndLogged) {
  site.writeRegistry(kConfig + "Modules\\Q-Common]\r\n\"AppVersion\"=\"2.1.0.0\"\r\n" + kConfig +
                     "Modules\\Q-Alder]\r\n\"Installed\"=\"1\"\r\n");
  const SiteInfo info = readSiteInfo(site.env, log);
  EXPECT_TRUE(info.Available);
  EXPECT_EQ(info.InstMainDir, site.instMainDir.string());
  EXPECT_EQ(info.Modules.size(), 2u);
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
  EXPECT_EQ(readSiteInfo(site.env, log).IISVirtId, 3);
  for (const char* bad : {"", "\"IISVirtId\"=\"web\"", "\"IISVirtId\"=\"9999999999\""}) {
    withId(bad);
    expectUnreadable();
  }
}

// A lookup that fails even after the connection was opened again marks its
// file and is logged: what cannot be known is told.
class CurrentSiteChecksums : public test::MetabaseTest {
 protected:
  std::string checksums(const platform::Environment& env) {
    site.write("inst/QO11/Q-Alder/a.asp", "abc");
    site.write("inst/Components/QAlder/b.dll", "abc");
    solution::SolutionInfo info;
    info.files = {test::fileEntry("QO11\\Q-Alder\\a.asp", "Q-Alder"),
                  test::fileEntry("QO11\\Q-Alder\\missing.asp", "Q-Alder"),
                  test::fileEntry("Components\\QAlder\\b.dll", "Q-Alder")};
    log::CLog log(env);
    readCurrentSiteChecksums(env, info, log);
    std::string text;
    for (const auto& file : info.files)
      text += file.currentChecksum + "/" + file.metabaseChecksum +
              (file.metabaseLookupFailed ? "! " : " ");
    EXPECT_EQ(site.ui.progressText, "Reading the current site info");
    EXPECT_TRUE(site.ui.boxes.empty());
    return text;
  }
};

TEST_F(CurrentSiteChecksums, EveryFileGetsItsChecksumsAndAFailedLookupIsTold) {
  sources.addSqlite("QOMetabase");
  sources.exec("QOMetabase",
               "INSERT INTO OBJECT(MACHINE,SERVER,OBJECT,CHECKSUM) VALUES "
               "('WEB01','WebServer','QO11\\Q-Alder\\a.asp','3C4D')");
  EXPECT_EQ(checksums(site.env), "CADB/3C4D 0/0 0/0 ");
  test::FaultyDatabases databases;
  databases.fails = [](std::string_view statement, int) {
    return platform::contains(statement, "a.asp");
  };
  platform::Environment env = site.env;
  env.databases = &databases;
  EXPECT_EQ(checksums(env), "CADB/0! 0/0 0/0 ");
  EXPECT_NE(site.logText("Gathering Current Site Information")
                .find("  The Metabase lookup failed for QO11\\Q-Alder\\a.asp, which is saved "
                      "before it is replaced: Communication link failure\r\n"),
            std::string::npos);
  databases.timesOut = true;  // every later lookup would wait as long
  EXPECT_THROW((void)checksums(env), platform::OdbcTimeout);
}

}  // namespace
}  // namespace qsi::site
