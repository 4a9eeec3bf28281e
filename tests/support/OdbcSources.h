#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/OdbcConnection.h"

namespace qsi::test {

// The private PostgreSQL server that scripts/test-services.sh starts; its
// settings come from the QSI_PG_* variables it prints.
struct PostgresServer {
  std::string socketDir, port, saPassword, templateDatabase;
  // nullopt when the variables are not set (the server was not started).
  static std::optional<PostgresServer> fromEnvironment();
};

inline constexpr const char* kNoPostgres =
    "The test PostgreSQL server is not running: start it with "
    "`scripts/test-services.sh start DIR` and export the QSI_PG_* lines it prints "
    "(scripts/test.sh does both).";

// ODBC data sources of one test, in the odbc.ini of a temporary folder of the
// test process (with odbcinst.ini naming the SQLite and PostgreSQL drivers)
// that ODBCSYSINI/ODBCINI point at. SQLite data sources get a file each in
// `folder`; PostgreSQL ones a database cloned from the Metabase template,
// dropped again at the end. One object at a time per process.
class OdbcSources {
 public:
  OdbcSources();
  ~OdbcSources();
  OdbcSources(const OdbcSources&) = delete;
  OdbcSources& operator=(const OdbcSources&) = delete;

  // The driver manager keeps what it read of odbc.ini for the life of the
  // process: a test that sets up data sources after an earlier one is run
  // again in a process of its own. True when that happened (the caller
  // skips its own run; the child's failure is this test's).
  static bool ranInOwnProcess();

  // A SQLite data source on a new file, with the Metabase tables when asked.
  std::filesystem::path addSqlite(const std::string& name, bool withMetabase = true);
  // A PostgreSQL data source on a new database with the Metabase tables.
  // Throws std::runtime_error with kNoPostgres when the server is not there.
  std::string addPostgres(const std::string& name);

  // Runs statements on a data source, as the system administrator on PostgreSQL.
  void exec(const std::string& name, const std::string& statements) const;
  // The rows of a query; NULL reads as "<NULL>".
  [[nodiscard]] std::vector<std::vector<std::string>> rows(const std::string& name,
                                                           const std::string& query) const;

  std::filesystem::path folder;

 private:
  void writeIni() const;
  [[nodiscard]] platform::OdbcConnection connect(const std::string& name) const;
  std::map<std::string, std::string> sections_;  // name -> body of its odbc.ini section
  std::vector<std::string> databases_;           // PostgreSQL databases to drop
  std::optional<PostgresServer> server_;
};

}  // namespace qsi::test
