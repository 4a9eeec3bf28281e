#include <gtest/gtest.h>

#include "platform/OdbcConnection.h"
#include "platform/Text.h"
#include "support/MetabaseFixture.h"
#include "support/Process.h"

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

// Anything but a positive whole number leaves the default; too large a one is capped.
TEST(TimeLimits, ASettingChangesItsLimitOnlyWhenItIsAPositiveWholeNumber) {
  for (const std::string& line : platform::split(
           "7:7 :120 0:120 -5:120 5s:120 9999999999:2592000 99999999999999999999:2592000", ' ')) {
    const test::ScopedEnv set("QSI_QUERY_TIMEOUT", line.substr(0, line.find(':')));
    EXPECT_EQ(std::to_string(timeLimit(kQueryTimeLimit).seconds.count()),
              line.substr(line.find(':') + 1));
  }
}

class OdbcConnectionTest : public test::MetabaseTest {};

// The SQLite driver keeps no time limit (it takes SQL_ATTR_QUERY_TIMEOUT and
// reads back 0), and its wait for a lock heeds no cancellation.
TEST_F(OdbcConnectionTest, EveryCallEndsWithinItsLimitWhateverTheDriverDoes) {
  using namespace std::chrono_literals;
  using Errors = std::vector<std::string>;
  sources.addSqlite("Lite", true, 30'000);
  const DatabaseTimeLimits limits{{"QSI_LOGIN_TIMEOUT", 1s}, {"QSI_QUERY_TIMEOUT", 1s}};
  const std::string endless =
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 300000000) "
      "SELECT COUNT(*) FROM c";
  OdbcConnection connection(limits), holder;
  const auto timesOut = [](const std::function<void()>& call, auto within) {
    const auto started = std::chrono::steady_clock::now();
    try {
      call();
    } catch (const OdbcTimeout& timeout) {
      EXPECT_LT(std::chrono::steady_clock::now() - started, within);
      return timeout.errors();
    }
    return Errors{"no time-out"};
  };
  connection.open("Lite", "", "");
  // Cancelled a second after its limit, in the driver's words.
  EXPECT_EQ(timesOut([&] { connection.execute(endless); }, 5s),
            (Errors{"The statement did not end within its time limit of 1 s (QSI_QUERY_TIMEOUT).",
                    "[SQLite]interrupted (9)"}));
  EXPECT_EQ(connection.query("SELECT 1").field("1"), "1");

  holder.open("Lite", "", "");
  holder.execute("BEGIN EXCLUSIVE");
  EXPECT_EQ(timesOut([&] { connection.execute("DELETE FROM OBJECT"); }, 8s),
            Errors{"The statement did not end within its time limit of 1 s (QSI_QUERY_TIMEOUT), "
                   "nor within 2 s of its cancellation: the database does not answer."});
  EXPECT_FALSE(connection.isOpen());
  // The driver waits for the lock at its login too, whatever its login limit.
  EXPECT_TRUE(timesOut([&] { connection.open("Lite", "", ""); }, 8s)
                  .front()
                  .starts_with("The login did not end within its time limit of 1 s"));
}

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
