#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/OdbcConnection.h"

namespace qsi::test {

// The private PostgreSQL server that scripts/test-services.sh starts, from
// the QSI_PG_* variables it prints; nullopt when they are not set.
struct PostgresServer {
  std::string socketDir, port, saPassword, templateDatabase;
  static std::optional<PostgresServer> fromEnvironment();
};

inline constexpr const char* kNoPostgres =
    "The test PostgreSQL server is not running: start it with "
    "`scripts/test-services.sh start DIR` and export the QSI_PG_* lines it prints "
    "(scripts/test.sh does both).";

// A test's data sources: SQLite files in `folder`, PostgreSQL databases
// cloned from the Metabase template.
class OdbcSources {
 public:
  OdbcSources();
  ~OdbcSources();
  OdbcSources(const OdbcSources&) = delete;
  OdbcSources& operator=(const OdbcSources&) = delete;

  // The driver manager reads odbc.ini once: a later test of the process is
  // run again in a process of its own, and true is returned.
  static bool ranInOwnProcess();

  // A lock held elsewhere is waited for `busyMilliseconds` (the driver's Timeout).
  std::filesystem::path addSqlite(const std::string& name, bool withMetabase = true,
                                  int busyMilliseconds = 5000);
  // Throws std::runtime_error(kNoPostgres) without the server.
  std::string addPostgres(const std::string& name);

  // A session of its own, as the system administrator on PostgreSQL.
  [[nodiscard]] platform::OdbcConnection connect(const std::string& name) const;
  // As connect(), one session each; NULL reads as "<NULL>".
  void exec(const std::string& name, const std::string& statements) const;
  [[nodiscard]] std::vector<std::vector<std::string>> rows(const std::string& name,
                                                           const std::string& query) const;

  std::filesystem::path folder;

 private:
  void writeIni() const;
  std::map<std::string, std::string> sections_;  // name -> body of its odbc.ini section
  std::vector<std::string> databases_;           // PostgreSQL databases to drop
  std::optional<PostgresServer> server_;
};

}  // namespace qsi::test
