#include <gtest/gtest.h>

#include "platform/OdbcConnection.h"
#include "support/MetabaseFixture.h"

namespace qsi::platform {
namespace {

struct AttributeCase {
  std::string text, user, password, expected;
};

TEST(OdbcConnectionText, UserAndPasswordTakePrecedenceAndValuesCannotInject) {
  const AttributeCase cases[] = {
      {"QOMetabase", "sa", "pw", "DSN=QOMetabase;UID=sa;PWD=pw;"},
      {"DSN=QOMetabase;UID=TarnwickMetabase;PWD=;", "", "",
       "DSN=QOMetabase;UID=TarnwickMetabase;PWD=;"},
      {"dsn=X;uid=a;pwd=b", "sa", "", "dsn=X;uid=sa;pwd=b;"},
      {"DSN=X;Database={a;b}}c};", "", "p;UID=sa}", "DSN=X;Database={a;b}}c};PWD={p;UID=sa}}};"},
      {"DSN=X;PWD= padded ", "", "", "DSN=X;PWD={ padded };"},
  };
  for (const auto& c : cases) {
    const auto attributes = connectionAttributes(c.text, c.user, c.password);
    const std::string built = buildConnectionText(attributes);
    EXPECT_EQ(built, c.expected) << c.text;
    EXPECT_EQ(parseConnectionText(built), attributes) << c.text;  // read back the same values
  }
  // The driver manager would stop at the NUL and drop "Encrypt" after it.
  EXPECT_THROW((void)connectionAttributes("DSN=X;PWD=;Encrypt=yes", "", std::string("a\0b", 3)),
               OdbcFailure);
}

class OdbcConnectionTest : public test::MetabaseTest {};

TEST_F(OdbcConnectionTest, AFailedOpenCanBeTriedAgainAndRowsAreReadByColumnName) {
  sources.addSqlite("Lite");
  sources.exec("Lite", "INSERT INTO OBJECT(MACHINE,SERVER,OBJECT,MODULE) VALUES ('M','W','a','')");
  OdbcConnection connection;
  EXPECT_THROW(connection.open("Gone", "", ""), OdbcFailure);
  EXPECT_FALSE(connection.errors().empty());
  EXPECT_THROW(connection.execute("SELECT 1"), OdbcFailure);
  EXPECT_THROW(connection.open("", "", ""), OdbcFailure);  // never the default data source
  connection.open("lite", "", "");  // data source names are found without regard to case
  EXPECT_THROW(connection.execute("UPDATE NOSUCH SET A = 1"), OdbcFailure);
  OdbcResult rows = connection.query("SELECT OBJECT, CHECKSUM, MODULE FROM OBJECT");
  EXPECT_TRUE(connection.errors().empty());
  EXPECT_EQ(rows.field("Module"), "");
  EXPECT_EQ(rows.field("checksum"), std::nullopt);
  EXPECT_THROW((void)rows.field("NOSUCH"), OdbcFailure);
  rows.moveNext();
  EXPECT_TRUE(rows.eof());
  EXPECT_THROW((void)rows.field("OBJECT"), OdbcFailure);
}

TEST_F(OdbcConnectionTest, PasswordWithSemicolonAndBraceLogsInAsThatPassword) {
  requirePostgres();
  const std::string database = sources.addPostgres("QOMetabase");
  const std::string role = "qsi_role_" + database;
  const std::string password = "a;b}c{d=e'f";
  sources.exec("QOMetabase", "CREATE ROLE \"" + role + "\" LOGIN PASSWORD 'a;b}c{d=e''f'");

  for (const std::string& text :
       std::vector<std::string>{"QOMetabase", "DSN=QOMetabase;Database=" + database}) {
    OdbcConnection connection;
    EXPECT_NO_THROW(connection.open(text, role, password)) << text;
    EXPECT_THROW(connection.open(text, role, "a;b}c"), OdbcFailure) << text;
  }
  sources.exec("QOMetabase", "DROP ROLE \"" + role + "\"");
}

}  // namespace
}  // namespace qsi::platform
