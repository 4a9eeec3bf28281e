#include <gtest/gtest.h>

#include "metabase/MetabaseChecksum.h"
#include "support/Faults.h"
#include "support/MetabaseFixture.h"

namespace qsi::metabase {
namespace {

class MetabaseChecksumTest : public test::MetabaseTest,
                             public ::testing::WithParamInterface<const char*> {
 protected:
  void fill() {
    for (const char* row : {"('WEB01','WebServer','QO11\\Q-Alder\\default.asp','1A2B')",
                            "('WEB01','WebServer','QO11\\Q-Alder\\O''Brien.asp','BEEF')",
                            "('WEB01','WebServer','QO11\\Q-Alder\\null.asp',NULL)",
                            "('WEB02','WebServer','QO11\\Q-Alder\\other.asp','0A0A')"})
      sources.exec("QOMetabase",
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
};

// Where the Metabase is: its rows; no data source or no OBJECT table: none.
TEST_P(MetabaseChecksumTest, RowNullOrNoRowGiveTheChecksumOrZero) {
  const std::string source = GetParam();
  if (source == "Postgres") {
    requirePostgres();
    sources.addPostgres("QOMetabase");  // as the Metabase's own login
  } else if (source != "NoDataSource") {
    sources.addSqlite("QOMetabase", source == "SQLite");
  }
  const bool rows = source == "SQLite" || source == "Postgres";
  if (rows) fill();
  const std::vector<std::string> found{"1A2B", "BEEF", "0", "0", "0"}, none(5, "0");
  EXPECT_EQ(lookUpBothWays(), rows ? found : none);
}

INSTANTIATE_TEST_SUITE_P(Sources, MetabaseChecksumTest,
                         ::testing::Values("SQLite", "Postgres", "NoDataSource", "NoObjectTable"),
                         [](const auto& param) { return std::string(param.param); });

// A query that fails gets the connection opened again once and is tried
// again; what still fails is told, never taken for "no row".
TEST_F(MetabaseChecksumTest, ADroppedConnectionIsOpenedAgainOnceAndAFailureTold) {
  sources.addSqlite("QOMetabase");
  fill();
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
}  // namespace qsi::metabase
