#include <gtest/gtest.h>

#include "metabase/MetabaseStatements.h"
#include "metabase/MetabaseUpdate.h"
#include "support/MetabaseFixture.h"

namespace qsi::metabase {
namespace {

using Rows = std::vector<std::vector<std::string>>;

using test::fileEntry;
using test::moduleInfo;

class MetabaseUpdateTest : public test::MetabaseTest {
 protected:
  void useMetabase(bool postgres) {
    if (postgres) {
      requirePostgres();
      sources.addPostgres("QOMetabase");
      password = saPassword();
    } else {
      sources.addSqlite("QOMetabase");
    }
    for (const char* section : {"WebServer", "DbServer"}) {
      const std::string s = section;
      sources.exec("QOMetabase", "INSERT INTO SERVER VALUES ('WEB01','" + s + "','old','1.0')");
      for (const char* m : {"Q-Alder", "Q-Common"})
        sources.exec("QOMetabase",
                     "INSERT INTO MODULE VALUES ('WEB01','" + s + "','" + m + "','old','1.0.0')");
    }
    // Recorded at an earlier installation; status and size must survive an update.
    sources.exec("QOMetabase",
                 "INSERT INTO OBJECT VALUES ('WEB01','WebServer','Q-Alder',"
                 "'QO11\\Q-Alder\\default.asp','1','0000','old','5','77','9')");
  }
  Rows rows(const std::string& query) { return sources.rows("QOMetabase", query); }
  [[nodiscard]] std::string date() const { return site.env.stamp.installDateText; }

  solution::SolutionInfo info = [] {
    solution::SolutionInfo s;
    s.productName = "Q-Alder";
    s.version = version::Version("11.1.0.2");
    s.modules = {moduleInfo("Q-Alder", "11.1.0.2"), moduleInfo("Q-Common", "7.1.0.0")};
    s.files = {fileEntry("QO11\\Q-Alder\\default.asp", "Q-Alder", true, "1A2B"),
               fileEntry("QO11\\Q-Alder\\skipped.asp", "Q-Alder", false, "FFFF"),
               fileEntry("QO11\\Q-Larch\\larch.asp", "Q-Larch", true, "3C4D"),
               fileEntry("QO11\\Q-Common\\O'Brien.asp", "Q-Common", true, "BEEF")};
    return s;
  }();
  std::string password;
};

struct TypeCase {
  std::string type;
  bool postgres;
  bool modules, server, patch;
};

class UpdateRunByType : public MetabaseUpdateTest,
                        public ::testing::WithParamInterface<TypeCase> {};

TEST_P(UpdateRunByType, WritesTheRowsItsTypeAsksForInBothSections) {
  const TypeCase& c = GetParam();
  useMetabase(c.postgres);
  info.solutionType = c.type;
  updateMetabase(site.env, info, "WebServer", password);
  updateMetabase(site.env, info, "DbServer", password);

  const std::string d = date();
  EXPECT_EQ(rows("SELECT MACHINE, SERVER, MODULE, OBJECT, VERSION, CHECKSUM, INSTALLATIONDATE, "
                 "INSTALLATIONSTATUS, SIZE, VSSVERSION FROM OBJECT ORDER BY OBJECT"),
            (Rows{{"WEB01", "WebServer", "Q-Alder", "QO11\\Q-Alder\\default.asp", "2", "1A2B", d,
                   "5", "77", "9"},
                  {"WEB01", "WebServer", "Q-Common", "QO11\\Q-Common\\O'Brien.asp", "7.1.0.0",
                   "BEEF", d, "0", "0", "0"},
                  {"WEB01", "WebServer", "Q-Common", "QO11\\Q-Larch\\larch.asp", "", "3C4D", d, "0",
                   "0", "0"}}));
  Rows modules;  // Q-Alder, then Q-Common, in each section
  for (const char* server : {"WebServer", "DbServer"})
    for (const char* version : {"11.1.0", "7.1.0"})
      modules.push_back(c.modules ? Rows::value_type{server, d, version}
                                  : Rows::value_type{server, "old", "1.0.0"});
  EXPECT_EQ(
      rows("SELECT SERVER, INSTALLATIONDATE, VERSION FROM MODULE ORDER BY SERVER DESC, MODULE"),
      modules);
  EXPECT_EQ(rows("SELECT SERVER, INSTALLATIONDATESP, SERVICEPACK FROM SERVER ORDER BY SERVER DESC"),
            c.server ? (Rows{{"WebServer", d, "11.1.0.2 "}, {"DbServer", d, "11.1.0.2 "}})
                     : (Rows{{"WebServer", "old", "1.0"}, {"DbServer", "old", "1.0"}}));
  EXPECT_EQ(rows("SELECT MACHINE, SERVER, PATCH, INSTALLATIONDATE, INSTALLATIONSTATUS FROM PATCH "
                 "ORDER BY SERVER DESC"),
            c.patch
                ? (Rows{{"WEB01", "WebServer", "2", d, "0"}, {"SQL01", "DbServer", "2", d, "0"}})
                : Rows{});
  const std::string description = "Q-Alder - " + c.type + " 2";
  EXPECT_EQ(rows("SELECT MACHINE, SERVER, DESCRIPTION, INSTALLATIONDATE, INSTALLATIONSTATUS "
                 "FROM INSTALLATIONHISTORY ORDER BY SERVER DESC"),
            (Rows{{"WEB01", "WebServer", description, d, "0"},
                  {"SQL01", "DbServer", description, d, "0"}}));
}

INSTANTIATE_TEST_SUITE_P(Types, UpdateRunByType,
                         ::testing::Values(TypeCase{"Solution", false, false, false, true},
                                           TypeCase{"ServicePack", false, true, true, false},
                                           TypeCase{"Hotfix", false, true, false, false},
                                           TypeCase{"ServicePack", true, true, true, false}),
                         [](const auto& param) {
                           return param.param.type + (param.param.postgres ? "OnPostgres" : "");
                         });

// A PATCH row is only ever written by a Solution; its second run updates it.
TEST_F(MetabaseUpdateTest, RevisionAboveZeroIsRecordedAndAPatchRowIsUpdatedOnTheSecondRun) {
  sources.addSqlite("QOMetabase");
  const auto connection = openMetabaseConnection(site.env, "");
  log::CLog log(site.env);
  log.openLogFile("Metabase");
  const std::pair<std::string, std::string> cases[] = {
      {"1.2.3", "1.2.3"},    {"7.1.0.0", "7.1.0.0"},     {"7.1.0.3", "3"},      {"11.1.0.2", "2"},
      {"11.12.13.14", "14"}, {"1.2.3.4.5", "1.2.3.4.5"}, {"1.2.3.x", "1.2.3.x"}};
  for (const auto& [version, recorded] : cases) {
    saveObject(*connection, log, {"m", "WebServer", "Q-Alder", version, "d", version, "c"});
    EXPECT_EQ(rows("SELECT VERSION FROM OBJECT WHERE OBJECT = '" + version + "'"),
              Rows{{recorded}});
  }

  info.solutionType = "Solution";
  savePatch(site.env, *connection, log, info, "WebServer");
  savePatch(site.env, *connection, log, info, "WebServer");
  EXPECT_EQ(rows("SELECT COUNT(*) FROM PATCH"), Rows{{"1"}});
}

}  // namespace
}  // namespace qsi::metabase
