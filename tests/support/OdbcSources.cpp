#include "support/OdbcSources.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <gtest/gtest.h>

#include "platform/FileIO.h"
#include "platform/Text.h"
#include "support/Process.h"

namespace qsi::test {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSqliteDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
constexpr const char* kPostgresDriver = "/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so";

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string uniqueName() {
  static std::atomic<int> counter{0};
  std::random_device random;
  return "qsi_" + std::to_string(random()) + "_" + std::to_string(counter++);
}

// The driver manager reads its folder once per process. Under Wine it is the
// build machine's, which the test command names in ODBCSYSINI.
struct ConfigurationFolder {
  ConfigurationFolder() {
#ifdef _WIN32
    if (!variable("ODBCSYSINI").starts_with("/"))
      throw std::runtime_error("ODBCSYSINI must name the test data sources' folder");
    path = "Z:" + platform::replaceAll(variable("ODBCSYSINI"), "/", "\\");
#else
    path = fs::temp_directory_path() / ("qsi-odbc-" + uniqueName());
    ::setenv("ODBCSYSINI", path.c_str(), 1);
    ::setenv("ODBCINI", (path / "odbc.ini").c_str(), 1);
#endif
    fs::create_directories(path);
    std::ofstream(path / "odbcinst.ini") << "[SQLite3]\nDriver=" << kSqliteDriver
                                         << "\n\n[PostgreSQL]\nDriver=" << kPostgresDriver << "\n";
  }
  ~ConfigurationFolder() {
#ifndef _WIN32
    std::error_code ignored;
    fs::remove_all(path, ignored);
#endif
  }
  fs::path path;
};

const fs::path& configurationFolder() {
  static const ConfigurationFolder folder;
  return folder.path;
}

// A file as the driver on the build machine sees it (without Z: under Wine).
std::string driverPath(const fs::path& file) {
  const std::string path = file.generic_string();
  return path.starts_with("Z:") ? path.substr(2) : path;
}

platform::OdbcConnection administrator(const PostgresServer& server) {
  platform::OdbcConnection admin;
  admin.open("Driver=PostgreSQL;Servername=" + server.socketDir + ";Port=" + server.port +
                 ";Database=postgres",
             "sa", server.saPassword);
  return admin;
}

}  // namespace

std::optional<PostgresServer> PostgresServer::fromEnvironment() {
  PostgresServer server{variable("QSI_PG_SOCKET_DIR"), variable("QSI_PG_PORT"),
                        variable("QSI_PG_SA_PASSWORD"), variable("QSI_PG_TEMPLATE")};
  if (server.socketDir.empty() || server.port.empty() || server.saPassword.empty())
    return std::nullopt;
  if (server.templateDatabase.empty()) server.templateDatabase = "QOMetabase";
  return server;
}

OdbcSources::OdbcSources()
    : folder(configurationFolder() / uniqueName()), server_(PostgresServer::fromEnvironment()) {
#ifndef _WIN32
  // Kept mapped, so that tests/lsan.supp can name what the drivers leak.
  for (const char* driver : {kSqliteDriver, kPostgresDriver})
    dlopen(driver, RTLD_NOW | RTLD_NODELETE);
#endif
  fs::create_directories(folder);
  writeIni();
}

OdbcSources::~OdbcSources() {
  try {
    if (server_ && !databases_.empty()) {
      platform::OdbcConnection admin = administrator(*server_);
      for (const auto& database : databases_)
        admin.execute("DROP DATABASE IF EXISTS \"" + database + "\" WITH (FORCE)");
    }
  } catch (const std::exception&) {  // the server goes away with its folder anyway
  }
  sections_.clear();
  writeIni();
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

void OdbcSources::writeIni() const {
  std::ofstream out(configurationFolder() / "odbc.ini", std::ios::trunc);
  for (const auto& [name, body] : sections_) out << "[" << name << "]\n" << body << "\n";
}

bool OdbcSources::ranInOwnProcess() {
  static bool configuredBefore = false;
  constexpr const char* kChildMark = "QSI_ODBC_TEST_CHILD";
  if (std::getenv(kChildMark) != nullptr || !configuredBefore) {
    configuredBefore = true;
    return false;
  }
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter =
      std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  const fs::path workDir = configurationFolder() / uniqueName();
  fs::create_directories(workDir);
  const ProcessResult child =
      runProcess(currentProgram(), {filter},
                 {{kChildMark, "1"}, {"ASAN_OPTIONS", variable("ASAN_OPTIONS")}}, "", workDir);
  std::cout << child.out << child.err;
  std::error_code ignored;
  fs::remove_all(workDir, ignored);
  if (child.status != 0)
    ADD_FAILURE() << "The test failed in a process of its own (" << filter << "); see above.";
  return true;
}

fs::path OdbcSources::addSqlite(const std::string& name, bool withMetabase, int busyMilliseconds) {
  const fs::path file = folder / (name + ".sqlite");
  fs::remove(file);
  sections_[name] = "Driver=SQLite3\nDatabase=" + driverPath(file) +
                    "\nTimeout=" + std::to_string(busyMilliseconds) + "\nSyncPragma=OFF\n";
  writeIni();
  if (!withMetabase) return file;
  // The schema's statements one by one: the SQLite driver runs one per call.
  std::string schema;
  for (const std::string& line : platform::split(
           platform::readFileBytes(fs::path(QSI_SOURCE_DIR) / "share" / "metabase-schema.sql"),
           '\n'))
    if (!line.starts_with("--")) schema += line + "\n";
  for (const std::string& statement : platform::split(schema, ';'))
    if (statement.find_first_not_of(" \r\n\t") != std::string::npos) exec(name, statement);
  return file;
}

std::string OdbcSources::addPostgres(const std::string& name) {
  if (!server_) throw std::runtime_error(kNoPostgres);
  const std::string database = uniqueName();
  administrator(*server_).execute("CREATE DATABASE \"" + database + "\" TEMPLATE \"" +
                                  server_->templateDatabase + "\"");
  databases_.push_back(database);
  sections_[name] = "Driver=PostgreSQL\nServername=" + server_->socketDir +
                    "\nPort=" + server_->port + "\nDatabase=" + database + "\n";
  writeIni();
  return database;
}

platform::OdbcConnection OdbcSources::connect(const std::string& name) const {
  platform::OdbcConnection connection;
  if (sections_.contains(name) && sections_.at(name).starts_with("Driver=PostgreSQL"))
    connection.open(name, "sa", server_->saPassword);
  else
    connection.open(name, "", "");
  return connection;
}

void OdbcSources::exec(const std::string& name, const std::string& statements) const {
  connect(name).execute(statements);
}

std::vector<std::vector<std::string>> OdbcSources::rows(const std::string& name,
                                                        const std::string& query) const {
  platform::OdbcConnection connection = connect(name);
  platform::OdbcResult result = connection.query(query);
  std::vector<std::vector<std::string>> out;
  for (; !result.eof(); result.moveNext()) {
    auto& row = out.emplace_back();
    for (const auto& column : result.columns())
      row.push_back(result.field(column).value_or("<NULL>"));
  }
  return out;
}

}  // namespace qsi::test
