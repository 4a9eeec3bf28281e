#include <gtest/gtest.h>

#include "log/CLog.h"
#include "platform/Failure.h"
#include "platform/Paths.h"
#include "solution/SolutionReader.h"
#include "support/TestSite.h"

namespace qsi::solution {
namespace {

const std::string kTypical =
    "[ReleaseInfo]\r\nProductName=Q-Alder\r\nVersion=2.1.1.0\r\nSolutionType=ServicePack\r\n"
    "[Dependency]\r\nProductName=Q-Alder\r\nVersion=2.1.0.0\r\nCommonVersion=2.1.0.0\r\n";

class ReadSolutionInfo : public ::testing::Test {
 protected:
  test::TestSite site;
  SolutionFolders folders;
  log::CLog log{site.env};

  SolutionInfo read() { return readSolutionInfo(site.env, folders, log); }
};

TEST_F(ReadSolutionInfo, TypicalDescriptorFillsTheRecordTheBoxAndTheLog) {
  site.writePackage("configuration files/Solution.info", kTypical);
  site.writePackage("configuration files/Q-Common.ini",
                    "[ReleaseInfo]\r\nVersion=11.1.0.2\r\n[Databases.QOCommon]\r\nUser=c\r\n"
                    "[Databases.QOMetabase]\r\nUser=m\r\n[Databases.QOMembership]\r\nUser=s\r\n");
  site.writePackage("configuration files/Q-Big-Tree.ini", "[Databases.QBigTree]\r\nUser=big\r\n");
  site.writePackage("configuration files/Upper.INI", "[ReleaseInfo]\r\nVersion=9\r\n");

  const SolutionInfo info = read();
  EXPECT_EQ(info.productName, "Q-Alder");
  EXPECT_EQ(info.versionPart1 + info.versionPart2 + info.versionPart3 + info.versionPart4, "2110");
  EXPECT_EQ(info.dependencyVersionPart3, "0");
  EXPECT_EQ(info.commonVersion, "2.1.0.0");
  EXPECT_FALSE(info.hasFiles || info.hasSqlScripts || info.hasComponents);
  ASSERT_EQ(info.modules.size(), 2u);  // Upper.INI is not a module
  EXPECT_EQ(info.modules[0].name, "Q-Big-Tree");
  EXPECT_EQ(info.modules[0].databaseName1 + "/" + info.modules[0].databaseUser1, "QBigTree/big");
  EXPECT_EQ(info.modules[0].versionPart1, "0");
  EXPECT_EQ(info.modules[1].databaseName3 + "/" + info.modules[1].databaseUser3, "QOMembership/s");
  EXPECT_EQ(folders.sqlFolder, site.installer / "Solution" / "Sql");

  EXPECT_EQ(site.ui.solution,
            "ProductName    : Q-Alder\r\nProductVersion : 2.1.1.0\r\n"
            "Solution type  : ServicePack\r\n\r\nPre-requisites\r\n"
            "Q-Alder Version : 2.1.0.0\r\nQ-Common Version : 2.1.0.0\r\n\r\n");
  const std::string stars(88, '*');
  const std::string where =
      platform::displayPath(site.installer / "Solution" / "configuration files", true);
  EXPECT_EQ(site.logText("Gathering Solution Information"),
            stars +
                "\r\nThis logfile contains information about the installsection: "
                "Gathering Solution Information\r\n" +
                stars +
                "\r\n\r\n"
                "\r\n* Check on availability of Solution.info file *\r\n\r\n"
                "  Solution.info file found available at: " +
                where +
                "\r\n"
                "\r\n* Retrieve the global solution info *\r\n\r\n"
                "  ProductName    : Q-Alder\r\n  ProductVersion : 2.1.1.0\r\n"
                "  Solution type  : ServicePack\r\n"
                "\r\n* Dependent on Q-Product Version *\r\n\r\n  Q-Alder Version : 2.1.0.0\r\n"
                "\r\n* Dependent on Q-Common version *\r\n\r\n  Version : 2.1.0.0\r\n"
                "\r\n* Retrieve the solution info about modules *\r\n\r\n"
                "\r\n* Module name : Q-Big-Tree *\r\n\r\n  Version       : \r\n"
                "  Database Name : QBigTree\r\n  User          : big\r\n"
                "\r\n* Module name : Q-Common *\r\n\r\n  Version       : 11.1.0.2\r\n"
                "  Database Name : QOCommon\r\n  User          : c\r\n"
                "  Database Name : QOMetabase\r\n  User          : m\r\n"
                "  Database Name : QOMembership\r\n  User          : s\r\n");
}

TEST_F(ReadSolutionInfo, DescriptorWithOnlyReleaseInfoAndOverlongValues) {
  site.writePackage("configuration files/Solution.info",
                    "[ReleaseInfo]\nProductName=" + std::string(400, 'P') + "\n");
  const SolutionInfo info = read();
  EXPECT_EQ(info.productName, std::string(319, 'P'));
  EXPECT_EQ(info.dependencyProductName, "");
  EXPECT_EQ(info.commonVersionPart1 + info.commonVersionPart2 + info.commonVersionPart3 +
                info.commonVersionPart4,
            "0000");
}

TEST_F(ReadSolutionInfo, MissingDescriptorTellsWhereAndGivesAnEmptyRecord) {
  site.writePackage("configuration files/Q-Alder.ini", "[ReleaseInfo]\nVersion=2\n");
  const SolutionInfo info = read();
  EXPECT_TRUE(info.productName.empty() && info.modules.empty());
  const std::string text =
      "Solution.info file not available at: " +
      platform::displayPath(site.installer / "Solution" / "configuration files", true);
  ASSERT_EQ(site.ui.boxes.size(), 1u);
  EXPECT_EQ(site.ui.boxes[0].text, text);
  EXPECT_EQ(site.ui.boxes[0].title, "QSolutionInstaller");
  EXPECT_NE(site.logText("Gathering Solution Information").find("  " + text + "\r\n"),
            std::string::npos);
}

TEST_F(ReadSolutionInfo, MissingConfigurationFolderFailsBeforeTheExistenceTest) {
  site.writePackage("Web/default.asp", "x");
  try {
    (void)read();
    FAIL() << "expected a failure";
  } catch (const platform::Failure& failure) {
    EXPECT_EQ(failure.number(), 1010);
    EXPECT_EQ(failure.source(), "readSolutionInfo");
    EXPECT_EQ(failure.description(), "Error reading the solution info!");
    EXPECT_EQ(failure.cause(), "Error retrieving the modulenames!");
  }
  EXPECT_TRUE(site.ui.boxes.empty());
}

}  // namespace
}  // namespace qsi::solution
