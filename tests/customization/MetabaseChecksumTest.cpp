#include <gtest/gtest.h>

#include "customization/MetabaseChecksum.h"
#include "support/Faults.h"
#include "support/MetabaseFixture.h"

namespace qsi::customization {
namespace {

class MetabaseChecksumTest : public test::MetabaseTest {
 protected:
  void fill(const std::string& source) {
    for (const char* row : {"('WEB01','WebServer','QO11\\Q-Alder\\default.asp','1A2B')",
                            "('WEB01','WebServer','QO11\\Q-Alder\\O''Brien.asp','BEEF')",
                            "('WEB01','WebServer','QO11\\Q-Alder\\null.asp',NULL)",
                            "('WEB02','WebServer','QO11\\Q-Alder\\other.asp','0A0A')"})
      sources.exec(source,
                   std::string("INSERT INTO OBJECT(MACHINE,SERVER,OBJECT,CHECKSUM) VALUES ") + row);
  }
  // What both ways of looking up give for each file, in order.
  std::vector<std::string> lookUpBothWays() {
    std::vector<std::string> found;
    platform::OdbcDatabases databases;
    MetabaseChecksumLookup lookup(databases);
    platform::OdbcConnection connection;
    std::string failure;
    for (const char* object :
         {"QO11\\Q-Alder\\default.asp", "QO11\\Q-Alder\\O'Brien.asp", "QO11\\Q-Alder\\null.asp",
          "QO11\\Q-Alder\\norow.asp", "QO11\\Q-Alder\\other.asp"}) {
      found.push_back(lookup.getMetabaseChecksum("WEB01", "WebServer", "Q-Alder", object, failure));
      EXPECT_EQ(getMetabaseChecksum(connection, "WEB01", "WebServer", "Q-Alder", object),
                found.back())
          << object;
      EXPECT_FALSE(connection.isOpen());
    }
    return found;
  }
  const std::vector<std::string> expected{"1A2B", "BEEF", "0", "0", "0"};
};

TEST_F(MetabaseChecksumTest, RowNullOrNoRowOnSQLite) {
  sources.addSqlite("QOMetabase");
  fill("QOMetabase");
  EXPECT_EQ(lookUpBothWays(), expected);
}

TEST_F(MetabaseChecksumTest, RowNullOrNoRowOnPostgresAsTheMetabasesOwnLogin) {
  requirePostgres();
  sources.addPostgres("QOMetabase");
  fill("QOMetabase");
  EXPECT_EQ(lookUpBothWays(), expected);
}

TEST_F(MetabaseChecksumTest, MissingDataSourceGivesZero) {
  EXPECT_EQ(lookUpBothWays(), std::vector<std::string>(5, "0"));
}

TEST_F(MetabaseChecksumTest, RefusedStatementGivesZero) {
  sources.addSqlite("QOMetabase", false);  // no OBJECT table
  EXPECT_EQ(lookUpBothWays(), std::vector<std::string>(5, "0"));
}

TEST_F(MetabaseChecksumTest, LookupKeepsOneConnectionForTheWholeLoop) {
  const auto file = sources.addSqlite("QOMetabase");
  fill("QOMetabase");
  platform::OdbcDatabases databases;
  MetabaseChecksumLookup lookup(databases);
  platform::OdbcConnection connection;
  std::string failure;
  EXPECT_EQ(
      lookup.getMetabaseChecksum("WEB01", "WebServer", "", "QO11\\Q-Alder\\default.asp", failure),
      "1A2B");
  std::filesystem::remove(file);  // a new connection would open a new, empty file
  EXPECT_EQ(
      lookup.getMetabaseChecksum("WEB01", "WebServer", "", "QO11\\Q-Alder\\O'Brien.asp", failure),
      "BEEF");
  EXPECT_EQ(getMetabaseChecksum(connection, "WEB01", "WebServer", "", "QO11\\Q-Alder\\O'Brien.asp"),
            "0");
}

// A query that fails gets the connection opened again once and is tried
// again; what still fails is told, never taken for "no row".
TEST_F(MetabaseChecksumTest, ADroppedConnectionIsOpenedAgainOnceAndAFailureTold) {
  sources.addSqlite("QOMetabase");
  fill("QOMetabase");
  test::FaultyDatabases databases;
  databases.fails = [](std::string_view, int sent) { return sent == 1 || sent == 3 || sent == 4; };
  MetabaseChecksumLookup lookup(databases);
  std::vector<std::string> found;
  for (const char* object : {"QO11\\Q-Alder\\default.asp", "QO11\\Q-Alder\\O'Brien.asp",
                             "QO11\\Q-Alder\\norow.asp", "QO11\\Q-Alder\\default.asp"}) {
    std::string failure;
    found.push_back(lookup.getMetabaseChecksum("WEB01", "WebServer", "", object, failure) + " " +
                    failure);
  }
  EXPECT_EQ(found,
            (std::vector<std::string>{"1A2B ", "BEEF ", "0 Communication link failure", "1A2B "}));
}

}  // namespace
}  // namespace qsi::customization
