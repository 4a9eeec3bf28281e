#include <gtest/gtest.h>

#include "metabase/SqlScripts.h"
#include "platform/Paths.h"
#include "support/MetabaseFixture.h"
#include "support/Process.h"

namespace qsi::metabase {
namespace {

TEST(SqlScriptDatabase, OnlyALeadingUseKeywordNamesTheDatabase) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"use QOMetabase", "QOMETABASE"},
      {"  USE   QOMembership  ", "QOMEMBERSHIP"},
      {"USE WAREHOUSE", "WAREHOUSE"},
      {"USE [QOMetabase];", "QOMETABASE"},
      {"USE\tQAlder ;", "QALDER"},
      {"use[Q Alder]", "Q ALDER"},
      {"USE [ \"Q\" ]", "\"Q\""},  // one pair only, so that "USE [name]" reads back
      {"-- create the tables", std::nullopt},
      {"-- USE QAlder", std::nullopt},
      {"USER QAlder", std::nullopt},
      {"USE", std::nullopt},
      {"USE [];", std::nullopt},
  };
  for (const auto& [line, name] : cases) EXPECT_EQ(databaseNameOf(line), name) << line;
}

class SqlScriptsTest : public test::MetabaseTest {
 protected:
  void script(const std::string& name, const std::string& text) {
    site.writePackage("Sql/" + name, text);
  }
  // A script's log is named by its short name where the file system has short names.
  std::string scriptLog(const std::string& name) {
    const auto file = platform::shortPath(site.installer / "Solution" / "Sql" / name);
    return site.logText("SQL Script - " + file.filename().string());
  }
  solution::SolutionInfo info;
  std::filesystem::path sqlFolder = site.installer / "Solution" / "Sql";
};

TEST_F(SqlScriptsTest, RunsInOrderEachWithItsLogAndPassesOverFailures) {
  sources.addSqlite("QAlder");
  sources.exec("QAlder", "CREATE TABLE SETTINGS(NAME VARCHAR(32), VALUE VARCHAR(32))");
  script("1_insert.sql", "use QAlder\r\nINSERT INTO SETTINGS VALUES ('Schema', '1')\r\n");
  script("2_broken.sql", "USE [QAlder];\r\nUPDATE NOSUCH SET VALUE = '0'\r\n");
  script("3_update.sql", "USE QAlder\r\nUPDATE SETTINGS SET VALUE = '2' WHERE NAME = 'Schema'");
  script("4_nodb.sql", "-- no database named\r\nUPDATE SETTINGS SET VALUE = '9'\r\n");
  script("5_only_use.sql", "USE QAlder\r\n");
  // A first line naming a connection string would let the driver manager
  // load any library; an entry climbing out of Sql would run any file.
  script("6_dsn.sql", "USE DSN=QAlder;Driver=./evil.so\r\nUPDATE SETTINGS SET VALUE = '6'\r\n");
  script("7_brace.sql", "USE QAlder}\r\nUPDATE SETTINGS SET VALUE = '7'\r\n");
  script("8_header.sql", "-- no database, and nothing to run");
  site.writePackage("outside.sql", "USE QAlder\r\nUPDATE SETTINGS SET VALUE = 'outside'\r\n");
  for (const char* name : {"1_insert.sql", "", "2_broken.sql", "missing.sql", "3_update.sql",
                           "4_nodb.sql", "5_only_use.sql", "6_dsn.sql", "7_brace.sql",
                           "..\\outside.sql", "/etc/shadow", "8_header.sql"})
    info.sqlScripts.push_back(test::fileEntry(name));

  const auto logOf = [&](const char* name) {
    return "SQL Script - " + platform::shortPath(sqlFolder / name).filename().string();
  };
  EXPECT_EQ(runSQLScripts(site.env, planScripts(sqlFolder, info.sqlScripts), "secret"),
            (std::vector<std::string>{logOf("2_broken.sql"), std::string(kSkippedScriptsLog),
                                      logOf("4_nodb.sql"), logOf("6_dsn.sql"), logOf("7_brace.sql"),
                                      logOf("8_header.sql")}));

  EXPECT_EQ(sources.rows("QAlder", "SELECT NAME, VALUE FROM SETTINGS"),
            (std::vector<std::vector<std::string>>{{"Schema", "2"}}));
  EXPECT_NE(scriptLog("2_broken.sql").find("  Error : [SQLite]no such table: NOSUCH (1)\r\n"),
            std::string::npos);
  ASSERT_EQ(site.ui.boxes.size(), 2u);
  EXPECT_EQ(site.ui.boxes[0].text, "No Database Defined!");
  EXPECT_NE(scriptLog("4_nodb.sql").find("  Error : No data source name was given.\r\n"),
            std::string::npos);
  EXPECT_EQ(scriptLog("5_only_use.sql").find("Begin"), std::string::npos);
  const std::string skipped = site.logText(kSkippedScriptsLog);
  for (const char* why : {"  Line 2 of Sequence.txt is empty: no script was run for it.\r\n",
                          "  missing.sql: the script ", R"(  ..\outside.sql: the name holds "\")",
                          R"(  /etc/shadow: the name holds "/")"})
    EXPECT_NE(skipped.find(why), std::string::npos) << why << "\n" << skipped;
  EXPECT_NE(scriptLog("6_dsn.sql").find("\"DSN=QALDER;DRIVER=./EVIL.SO\", which is no data source"),
            std::string::npos);
  EXPECT_NE(scriptLog("7_brace.sql").find("\"QALDER}\", which is no data source name"),
            std::string::npos)
      << scriptLog("7_brace.sql");
  for (const char* log : {"1_insert.sql", "2_broken.sql", "4_nodb.sql"})
    EXPECT_EQ(scriptLog(log).find("secret"), std::string::npos) << log;
}

TEST_F(SqlScriptsTest, ScriptWithABatchSeparatorFailsWholeOnTheServer) {
  requirePostgres();
  sources.addPostgres("QAlderPg");
  sources.exec("QAlderPg", "CREATE TABLE SETTINGS(NAME VARCHAR(32), VALUE VARCHAR(32))");
  script("batches.sql",
         "USE QAlderPg\r\nINSERT INTO SETTINGS VALUES ('a', '1');\r\nGO\r\n"
         "INSERT INTO SETTINGS VALUES ('b', '2');\r\n");
  script("whole.sql",
         "USE QAlderPg\r\nINSERT INTO SETTINGS VALUES ('c', '3');\r\n"
         "INSERT INTO SETTINGS VALUES ('d', '4');\r\n");
  // A script has a limit of its own; passing it is logged, then ends the run.
  script("long.sql", "USE QAlderPg\r\nSELECT pg_sleep(30)");
  info.sqlScripts = {test::fileEntry("batches.sql"), test::fileEntry("whole.sql"),
                     test::fileEntry("long.sql"), test::fileEntry("whole.sql")};
  const test::ScopedEnv scripts("QSI_SCRIPT_TIMEOUT", "1"), queries("QSI_QUERY_TIMEOUT", "60");
  EXPECT_THROW(
      runSQLScripts(site.env, planScripts(sqlFolder, info.sqlScripts), saPassword()),  // as "SA"
      platform::OdbcTimeout);

  EXPECT_EQ(sources.rows("QAlderPg", "SELECT NAME FROM SETTINGS ORDER BY NAME"),
            (std::vector<std::vector<std::string>>{{"c"}, {"d"}}));
  const std::string text = scriptLog("batches.sql");
  EXPECT_NE(text.find("  Error : ERROR: syntax error at or near \"GO\""), std::string::npos)
      << text;
  EXPECT_NE(scriptLog("long.sql")
                .find("  Error : The statement did not end within its time "
                      "limit of 1 s (QSI_SCRIPT_TIMEOUT).\r\n  Error : ERROR: "
                      "canceling statement due to statement timeout"),
            std::string::npos)
      << scriptLog("long.sql");
}

}  // namespace
}  // namespace qsi::metabase
