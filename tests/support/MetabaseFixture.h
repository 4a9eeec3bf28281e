#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>

#include "metabase/SAPassword.h"
#include "solution/Records.h"
#include "support/OdbcSources.h"
#include "support/TestSite.h"
#include "version/Version.h"

namespace qsi::test {

inline const std::string kConfig =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\";

// A site with the web server WEB01, the SQL Server SQL01 and two modules.
class MetabaseTest : public ::testing::Test {
 protected:
  MetabaseTest() {
    site.writeRegistry(kConfig + "WebServerConfig]\r\n\"Hostname\"=\"WEB01\"\r\n\r\n" + kConfig +
                       "WebServerConfig\\SQL Server]\r\n\"Server\"=\"SQL01\"\r\n\r\n" + kConfig +
                       "WebServerConfig\\Modules\\Q-Alder]\r\n\"AppVersion\"=\"1.0.0.0\"\r\n\r\n" +
                       kConfig + "WebServerConfig\\Modules\\Q-Common]\r\n\r\n" + kConfig +
                       "DbServerConfig\\Modules\\Q-Alder]\r\n\r\n" + kConfig +
                       "DbServerConfig\\Modules\\Q-Common]\r\n");
  }
  void SetUp() override {
    if (OdbcSources::ranInOwnProcess())
      GTEST_SKIP() << "passed in a process of its own (the ODBC settings last a process)";
  }
  // Without the PostgreSQL test server, ends the test as failed, not skipped.
  static void requirePostgres() {
    if (!PostgresServer::fromEnvironment()) throw std::runtime_error(kNoPostgres);
  }
  static std::string saPassword() { return PostgresServer::fromEnvironment()->saPassword; }

  TestSite site;
  OdbcSources sources;
};

inline solution::ModuleInfo moduleInfo(std::string name, std::string version) {
  solution::ModuleInfo module;
  module.name = std::move(name);
  module.version = version::Version(std::move(version));
  return module;
}

inline solution::FileEntry fileEntry(std::string path, std::string module = {},
                                     bool install = false, std::string checksum = {}) {
  solution::FileEntry entry;
  entry.path = std::move(path);
  entry.module = std::move(module);
  entry.install = install;
  if (!checksum.empty()) entry.solutionChecksum = std::move(checksum);
  return entry;
}

// Typed passwords; nullopt, or the end of the script, presses Cancel.
class ScriptedPasswordDialog final : public metabase::PasswordDialog {
 public:
  std::deque<std::optional<std::string>> answers;
  int asked = 0;
  bool ask() override {
    ++asked;
    current_ = answers.empty() ? std::nullopt : answers.front();
    if (!answers.empty()) answers.pop_front();
    return current_.has_value();
  }
  [[nodiscard]] std::string password() const override { return current_.value_or(""); }

 private:
  std::optional<std::string> current_;
};

}  // namespace qsi::test
