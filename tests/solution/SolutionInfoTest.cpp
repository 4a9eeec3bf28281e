#include <gtest/gtest.h>

#include "log/CLog.h"
#include "platform/Failure.h"
#include "solution/SolutionReader.h"
#include "support/TestSite.h"

namespace qsi::solution {
namespace {

namespace fs = std::filesystem;

// The installer's folder is named like a content folder: nothing outside
// its package is taken. The descriptor saved with a UTF-8 byte-order mark and
// definition files saved as UTF-16, either way round, read as any other.
TEST(ReadSolutionInfo, TypicalDescriptorFillsTheRecordTheBoxAndTheLog) {
  test::TestSite site;
  const auto write = [&](const std::string& file, std::string_view text) {
    site.write("WebTools/Components/Solution/" + file, text);
  };
  write("configuration files/Solution.info",
        "\xEF\xBB\xBF[ReleaseInfo]\r\nProductName=Q-Alder\r\nVersion=2.1.1.0\r\nSolutionType="
        "ServicePack\r\n"
        "[Dependency]\r\nProductName=Q-Alder\r\nVersion=2.1.0.0\r\nCommonVersion=2.1.0.0\r\n");
  write(
      "configuration files/Q-Common.ini",
      test::utf16Bytes(u"[ReleaseInfo]\r\nVersion=11.1.0.2\r\n[Databases.QOCommon]\r\nUser=c\r\n"
                       u"[Databases.QOMetabase]\r\nUser=m\r\n[Databases.QOMembership]\r\nUser=s"));
  write("configuration files/Q-Big-Tree.ini",
        test::utf16Bytes(u"[ReleaseInfo]\nVersion=1\n[Databases.QBigTree]\nUser=big\n", true));
  write("configuration files/Upper.INI", "[ReleaseInfo]\r\nVersion=9\r\n");
  write("Sql/Sequence.txt", "a.sql\n");
  const fs::path installer = site.root / "WebTools" / "Components";
  platform::Environment env{site.registry,  site.profiles, site.ui, installer,
                            site.env.stamp, nullptr,       nullptr, site.env.logRoot};
  SolutionFolders folders;
  log::CLog log(env);
  const SolutionInfo info = readSolutionInfo(env, folders, log);
  EXPECT_EQ(info.productName, "Q-Alder");
  EXPECT_EQ(info.version.threeParts() + "." + info.version.revisionPart(), "2.1.1.0");
  EXPECT_EQ(info.dependencyVersion.buildPart(), "0");
  EXPECT_EQ(info.commonVersion.text(), "2.1.0.0");
  EXPECT_TRUE(info.files.empty() && !info.hasFiles && !info.hasComponents && info.hasSqlScripts);
  ASSERT_EQ(info.modules.size(), 2u);  // Upper.INI is not a module
  EXPECT_EQ(info.modules[0].databases.at(0).user, "big");
  EXPECT_EQ(folders.sqlFolder, installer / "Solution" / "Sql");

  EXPECT_EQ(site.ui.solution,
            "ProductName    : Q-Alder\r\nProductVersion : 2.1.1.0\r\n"
            "Solution type  : ServicePack\r\n\r\nPre-requisites\r\n"
            "Q-Alder Version : 2.1.0.0\r\nQ-Common Version : 2.1.0.0\r\n\r\n");
  // Q-Common's database is named apart from the module.
  EXPECT_NE(site.logText("Gathering Solution Information")
                .find("* Module name : Q-Common *\r\n\r\n  Version       : 11.1.0.2\r\n"
                      "  Database Name : QOCommon\r\n  User          : c\r\n"),
            std::string::npos);
}

#ifndef _WIN32
// The refusal names twenty entries and counts the rest, which the log names.
TEST(ReadSolutionInfo, APackageWithManyRefusedEntriesNamesTheFirstTwenty) {
  test::TestSite site;
  site.writePackage("configuration files/Solution.info", "[ReleaseInfo]\nProductName=Q-Alder\n");
  for (char folder = 'a'; folder < 'a' + 22; ++folder)
    site.writePackage(std::string("Web/") + folder + "\\x.asp", "x");
  SolutionFolders folders;
  log::CLog log(site.env);
  try {
    (void)readSolutionInfo(site.env, folders, log);
    ADD_FAILURE() << "the package must be refused";
  } catch (const platform::Failure& failure) {
    const std::string shown = failure.description() + "\n" + failure.cause();
    EXPECT_NE(shown.find("The package is refused: 22 entries"), std::string::npos) << shown;
    EXPECT_NE(shown.find("  Web\\t\\x.asp: the name holds"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("Web\\u\\x.asp"), std::string::npos) << shown;
    EXPECT_NE(shown.find("  ... and 2 more, listed in the log"), std::string::npos) << shown;
  }
}
#endif

}  // namespace
}  // namespace qsi::solution
