#include <gtest/gtest.h>

#include "control/Customization.h"
#include "platform/Failure.h"
#include "platform/Text.h"
#include "support/Faults.h"
#include "support/MetabaseFixture.h"
#include "support/TestSite.h"

namespace qsi::control {
namespace {

using Checksum = std::optional<std::string>;

solution::FileEntry entry(std::string path, Checksum current, Checksum metabase) {
  solution::FileEntry e;
  e.path = std::move(path);
  e.currentChecksum = std::move(current);
  e.metabaseChecksum = std::move(metabase);
  e.customized = true;  // stale flags are reset
  return e;
}

TEST(Customizations, OnlyKnownDifferingChecksumsCountAndAreLogged) {
  test::TestSite site;
  solution::SolutionInfo info;
  info.files = {entry("QO11\\same.asp", "1A2B", "1A2B"),
                entry("QO11\\Q-Alder\\changed.asp", "1A2B", "3C4D"),
                entry("QO11\\missing.asp", std::nullopt, "3C4D"),
                entry("QO11\\norow.asp", "1A2B", std::nullopt),
                entry("Components\\QAlder\\x.dll", std::nullopt, "186"),
                entry("QO11\\case.asp", "02c5", "02C5")};
  buildCustomizationsLog(site.env, info);

  std::vector<bool> flags;
  for (const auto& e : info.files) flags.push_back(e.customized);
  EXPECT_EQ(flags, (std::vector<bool>{false, true, false, false, false, true}));
  EXPECT_TRUE(info.hasCustomizedFiles);

  const std::string stars(88, '*');
  const std::string expected =
      stars + "\r\nThis logfile contains information about the installsection: Customizations\r\n" +
      stars + "\r\n\r\n" +
      "  The following files are changed after the last installation.\r\n"
      "  Current checksum\tMetabase checksum\t\tFile\r\n"
      "  1A2B\t\t\t3C4D\t\t\tQO11\\Q-Alder\\changed.asp\r\n"
      "  02c5\t\t\t02C5\t\t\tQO11\\case.asp\r\n";
  EXPECT_EQ(site.logText("Customizations"), expected);
  EXPECT_EQ(showCustomizationReport(site.env), expected);

  info.files.resize(1);  // the equal one only: nothing customized any more
  buildCustomizationsLog(site.env, info);
  EXPECT_FALSE(info.hasCustomizedFiles);
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
      text += file.currentChecksum.value_or("-") + "/" + file.metabaseChecksum.value_or("-") +
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
  EXPECT_EQ(checksums(site.env), "CADB/3C4D -/- -/- ");
  test::FaultyDatabases databases;
  databases.fails = [](std::string_view statement, int) {
    return platform::contains(statement, "a.asp");
  };
  platform::Environment env = site.env;
  env.databases = &databases;
  EXPECT_EQ(checksums(env), "CADB/-! -/- -/- ");
  EXPECT_NE(site.logText("Gathering Current Site Information")
                .find("  The Metabase lookup failed for QO11\\Q-Alder\\a.asp, which is saved "
                      "before it is replaced: Communication link failure\r\n"),
            std::string::npos);
  databases.timesOut = true;  // every later lookup would wait as long
  EXPECT_THROW((void)checksums(env), platform::OdbcTimeout);
}

}  // namespace
}  // namespace qsi::control
