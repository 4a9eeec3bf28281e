#include <gtest/gtest.h>

#include "customization/MetabaseChecksum.h"
#include "metabase/MetabaseFixture.h"

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
    MetabaseChecksumLookup lookup;
    platform::OdbcConnection connection;
    for (const char* object :
         {"QO11\\Q-Alder\\default.asp", "QO11\\Q-Alder\\O'Brien.asp", "QO11\\Q-Alder\\null.asp",
          "QO11\\Q-Alder\\norow.asp", "QO11\\Q-Alder\\other.asp"}) {
      found.push_back(lookup.getMetabaseChecksum("WEB01", "WebServer", "Q-Alder", object));
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
  MetabaseChecksumLookup lookup;
  platform::OdbcConnection connection;
  EXPECT_EQ(lookup.getMetabaseChecksum("WEB01", "WebServer", "", "QO11\\Q-Alder\\default.asp"),
            "1A2B");
  std::filesystem::remove(file);  // a new connection would open a new, empty file
  EXPECT_EQ(lookup.getMetabaseChecksum("WEB01", "WebServer", "", "QO11\\Q-Alder\\O'Brien.asp"),
            "BEEF");
  EXPECT_EQ(getMetabaseChecksum(connection, "WEB01", "WebServer", "", "QO11\\Q-Alder\\O'Brien.asp"),
            "0");
}

}  // namespace
}  // namespace qsi::customization
