#include "support/OdbcSources.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>

#ifdef _WIN32
#include <process.h>
#else
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "platform/FileIO.h"
#include "platform/OdbcConnection.h"
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

// The schema's statements, one by one (the SQLite driver runs one per call).
std::vector<std::string> schemaStatements() {
  const std::string text =
      platform::readFileBytes(fs::path(QSI_SOURCE_DIR) / "share" / "metabase-schema.sql");
  std::string withoutComments;
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    if (!line.starts_with("--")) withoutComments += line + "\n";
    pos = end + 1;
  }
  std::vector<std::string> statements;
  pos = 0;
  while (pos < withoutComments.size()) {
    auto end = withoutComments.find(';', pos);
    if (end == std::string::npos) end = withoutComments.size();
    const std::string statement = withoutComments.substr(pos, end - pos);
    if (statement.find_first_not_of(" \r\n\t") != std::string::npos)
      statements.push_back(statement);
    pos = end + 1;
  }
  return statements;
}

std::string uniqueName() {
  static std::atomic<int> counter{0};
  std::random_device random;
#ifdef _WIN32
  const int pid = ::_getpid();
#else
  const int pid = ::getpid();
#endif
  return "qsi_" + std::to_string(pid) + "_" + std::to_string(random() % 100000) + "_" +
         std::to_string(counter++);
}

#ifdef _WIN32
// Wine's ODBC bridge hands the calls to the build machine's driver manager,
// which reads the build machine's environment as it was when the test
// started: ODBCSYSINI names the one configuration folder of every test (the
// test command makes it), on drive Z: as Windows sees it.
class ConfigurationFolder {
 public:
  ConfigurationFolder() : hostPath(variable("ODBCSYSINI")) {
    if (hostPath.empty() || !hostPath.starts_with("/"))
      throw std::runtime_error(
          "ODBCSYSINI must name the build machine's folder of the test data sources "
          "(scripts/test-windows.sh sets it)");
    path = "Z:" + platform::replaceAll(hostPath, "/", "\\");
    fs::create_directories(path);
    platform::writeFileAtomically(path / "odbcinst.ini",
                                  std::string("[SQLite3]\nDriver=") + kSqliteDriver + "\n");
  }
  // A file below the folder as the driver sees it.
  [[nodiscard]] std::string driverPath(const fs::path& file) const {
    return hostPath + platform::replaceAll(file.string().substr(path.string().size()), "\\", "/");
  }
  const std::string hostPath;
  fs::path path;
};
#else
// The driver manager reads ODBCSYSINI once per process, so the configuration
// folder is the process's; each OdbcSources rewrites its odbc.ini.
class ConfigurationFolder {
 public:
  ConfigurationFolder() : path(fs::temp_directory_path() / ("qsi-odbc-" + uniqueName())) {
    fs::create_directories(path);
    std::ofstream(path / "odbcinst.ini") << "[SQLite3]\nDriver=" << kSqliteDriver
                                         << "\n\n[PostgreSQL]\nDriver=" << kPostgresDriver << "\n";
    std::ofstream(path / "odbc.ini").flush();
    ::setenv("ODBCSYSINI", path.c_str(), 1);
    ::setenv("ODBCINI", (path / "odbc.ini").c_str(), 1);
  }
  ~ConfigurationFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  ConfigurationFolder(const ConfigurationFolder&) = delete;
  ConfigurationFolder& operator=(const ConfigurationFolder&) = delete;
  [[nodiscard]] std::string driverPath(const fs::path& file) const { return file.string(); }
  const fs::path path;
};
#endif

const ConfigurationFolder& configuration() {
  static const ConfigurationFolder folder;
  return folder;
}

const fs::path& configurationFolder() {
  return configuration().path;
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
  // The drivers stay mapped after the driver manager unloads them, so that
  // the leak checker can name (and tests/lsan.supp pass over) what they leak.
  for (const char* driver : {kSqliteDriver, kPostgresDriver})
    dlopen(driver, RTLD_NOW | RTLD_NODELETE);
#endif
  fs::create_directories(folder);
  writeIni();
}

OdbcSources::~OdbcSources() {
  if (server_ && !databases_.empty()) {
    try {
      platform::OdbcConnection admin;
      admin.open("Driver=PostgreSQL;Servername=" + server_->socketDir + ";Port=" + server_->port +
                     ";Database=postgres",
                 "sa", server_->saPassword);
      for (const auto& database : databases_)
        admin.execute("DROP DATABASE IF EXISTS \"" + database + "\" WITH (FORCE)");
    } catch (const std::exception&) {  // the server goes away with its folder anyway
    }
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
#ifdef _WIN32
  const fs::path workDir = configurationFolder() / uniqueName();
  fs::create_directories(workDir);
  const ProcessResult child =
      runProcess(currentProgram(), {filter}, {{kChildMark, "1"}}, "", workDir);
  std::cout << child.out << child.err;
  std::error_code ignored;
  fs::remove_all(workDir, ignored);
  const bool passed = child.status == 0;
#else
  std::cout.flush();
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv(kChildMark, "1", 1);
    ::execl("/proc/self/exe", "/proc/self/exe", filter.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = -1;
  const bool passed = child >= 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                      WEXITSTATUS(status) == 0;
#endif
  if (!passed)
    ADD_FAILURE() << "The test failed in a process of its own (" << filter << "); see above.";
  return true;
}

fs::path OdbcSources::addSqlite(const std::string& name, bool withMetabase) {
  const fs::path file = folder / (name + ".sqlite");
  fs::remove(file);
  sections_[name] = "Driver=SQLite3\nDatabase=" + configuration().driverPath(file) +
                    "\nTimeout=5000\nSyncPragma=OFF\n";
  isPostgres_[name] = false;
  writeIni();
  if (withMetabase)
    for (const auto& statement : schemaStatements()) exec(name, statement);
  return file;
}

std::string OdbcSources::addPostgres(const std::string& name) {
  if (!server_) throw std::runtime_error(kNoPostgres);
  const std::string database = uniqueName();
  platform::OdbcConnection admin;
  admin.open("Driver=PostgreSQL;Servername=" + server_->socketDir + ";Port=" + server_->port +
                 ";Database=postgres",
             "sa", server_->saPassword);
  admin.execute("CREATE DATABASE \"" + database + "\" TEMPLATE \"" + server_->templateDatabase +
                "\"");
  databases_.push_back(database);
  sections_[name] = "Driver=PostgreSQL\nServername=" + server_->socketDir +
                    "\nPort=" + server_->port + "\nDatabase=" + database + "\n";
  isPostgres_[name] = true;
  writeIni();
  return database;
}

void OdbcSources::remove(const std::string& name) {
  sections_.erase(name);
  writeIni();
}

void OdbcSources::exec(const std::string& name, const std::string& statements) const {
  platform::OdbcConnection connection;
  const bool postgres = isPostgres_.count(name) != 0 && isPostgres_.at(name);
  connection.open(name, postgres ? "sa" : "", postgres ? server_->saPassword : "");
  connection.execute(statements);
}

std::vector<std::vector<std::string>> OdbcSources::rows(const std::string& name,
                                                        const std::string& query) const {
  platform::OdbcConnection connection;
  const bool postgres = isPostgres_.count(name) != 0 && isPostgres_.at(name);
  connection.open(name, postgres ? "sa" : "", postgres ? server_->saPassword : "");
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
