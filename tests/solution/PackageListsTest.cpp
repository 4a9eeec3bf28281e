#include <gtest/gtest.h>

#include "platform/Failure.h"
#include "solution/ComponentLists.h"
#include "solution/ModuleReader.h"
#include "solution/SqlList.h"
#include "support/TestSite.h"

namespace qsi::solution {
namespace {

class PackageLists : public ::testing::Test {
 protected:
  test::TestSite site;
  SolutionFolders folders = SolutionFolders::beside(site.installer);
};

TEST_F(PackageLists, ComponentKindsFromTheModuleDefinitionFiles) {
  site.writePackage("configuration files/Q-Alder.ini",
                    "[Components.Register]\n"
                    "MTSComponents=Bramble.dll,Brake_Fern.dll;Viewer.ocx\n"
                    "COMComponents=QAlderUtil.dll Viewer.ocx\n");
  site.writePackage("configuration files/Q-Common.ini", "[ReleaseInfo]\nVersion=2.1\n");
  struct Case {
    const char* path;
    bool mts;
    bool com;
  };
  const Case cases[] = {
      {R"(Components\QAlder\Bramble.dll)", true, false},
      {R"(Components\QAlder\Brake_Fern.dll)", true, false},
      {R"(Components\QAlder\Other.dll)", false, false},
      {R"(Components\QAlder\Ble.dll)", false, false},  // a part of a listed name is not listed
      {R"(Components\QAlder\QALDERUTIL.DLL)", false, true},
      {R"(Components\QAlder\Viewer.ocx)", true, false},
      {R"(Components\QAlder\Bramble.dll.txt)", false, false},
      {R"(Components\QOCommon\Bramble.dll)", false, false},  // no Components.Register
      {R"(Components\Foo\Bramble.dll)", false, false},       // no definition file
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isMTSComponentFile(site.profiles, folders, c.path), c.mts) << c.path;
    EXPECT_EQ(isCOMComponentFile(site.profiles, folders, c.path), c.com) << c.path;
  }
}

TEST_F(PackageLists, LookupPathsOfShippedChecksums) {
  const std::pair<const char*, const char*> lookups[] = {
      {R"(QO11\Q-Alder\default.asp)", R"(Web\Q-Alder\default.asp)"},
      {R"(qo11\x.asp)", R"(Web\x.asp)"},
      {R"(Components\QAlder\Bramble.dll)", R"(Components\Bramble\Bramble.dll)"},
      {R"(Components\QAlder\Brake_Fern.dll)", R"(Components\Bramble\Brake_Fern.dll)"},
      {R"(Components\QAlder\Other.dll)", R"(Components\QAlder\Other.dll)"},
      {R"(Components\QOrchard\QOrchard.dll)", R"(Components\QOrchard\QOrchard.dll)"},
  };
  for (const auto& [installation, lookup] : lookups) EXPECT_EQ(getLookupPath(installation), lookup);
}

TEST_F(PackageLists, SqlListKeepsLineOrderEmptyLinesAndTrailingBlanks) {
  EXPECT_TRUE(readSolutionSqlFiles(site.env, folders).empty());
  site.writePackage("Sql/A.sql", "SELECT 1");  // no Sequence.txt: nothing is run
  EXPECT_TRUE(readSolutionSqlFiles(site.env, folders).empty());
  site.writePackage("Sql/Sequence.txt", "B.sql\r\nA.sql\r\n\r\ntrail.sql  \r\nlf.sql\nlast.sql");
  const std::vector<FileEntry> scripts = readSolutionSqlFiles(site.env, folders);
  std::vector<std::string> names;
  for (const FileEntry& script : scripts) names.push_back(script.path);
  EXPECT_EQ(names,
            (std::vector<std::string>{"B.sql", "A.sql", "", "trail.sql  ", "lf.sql", "last.sql"}));
}

TEST_F(PackageLists, ModuleNamesInCaseBlindOrderFromExactIniEndings) {
  for (const char* file : {"q-zed.ini", "Q-Alder.ini", "b.INI", "Solution.info", "FileVersion.txt"})
    site.writePackage(std::string("configuration files/") + file, "");
  std::filesystem::create_directories(folders.configurationFolder / "folder.ini");
  EXPECT_EQ(readSolutionModuleNames(site.env, folders),
            (std::vector<std::string>{"Q-Alder", "q-zed"}));
  EXPECT_THROW((void)readSolutionModuleNames(site.env, SolutionFolders::beside(site.root / "none")),
               platform::Failure);
}

}  // namespace
}  // namespace qsi::solution
