#pragma once

#include <string>
#include <string_view>

#include "log/CLog.h"
#include "platform/Environment.h"
#include "platform/OdbcConnection.h"
#include "solution/Records.h"

// The statements the installer sends to the Metabase, and the procedures that
// send them on the update run's connection, logging each one.
namespace qsi::metabase {

inline constexpr std::string_view kWebServer = "WebServer";
inline constexpr std::string_view kDbServer = "DbServer";

// A value as it stands between the quotes of a statement: each ' doubled, so
// that O'Brien.asp is one value and no value can end its literal early.
[[nodiscard]] std::string sqlValue(std::string_view value);

// The texts of the statements, values put in with sqlValue().
[[nodiscard]] std::string updateServerStatement(std::string_view machine, std::string_view server,
                                                std::string_view servicePack,
                                                std::string_view date);
[[nodiscard]] std::string updateModuleStatement(std::string_view machine, std::string_view server,
                                                std::string_view module, std::string_view version,
                                                std::string_view date);
[[nodiscard]] std::string selectObjectStatement(std::string_view machine, std::string_view server,
                                                std::string_view object);

// One OBJECT row's values.
struct ObjectValues {
  std::string machine, server, module, object, date, version, checksum;
};
[[nodiscard]] std::string insertObjectStatement(const ObjectValues& values);
[[nodiscard]] std::string updateObjectStatement(const ObjectValues& values);
[[nodiscard]] std::string insertHistoryStatement(std::string_view machine, std::string_view server,
                                                 std::string_view description,
                                                 std::string_view date);

// One PATCH row's values.
struct PatchValues {
  std::string machine, server, patch, date;
};
[[nodiscard]] std::string selectPatchStatement(const PatchValues& values);
[[nodiscard]] std::string insertPatchStatement(const PatchValues& values);
[[nodiscard]] std::string updatePatchStatement(const PatchValues& values);

// Sets the service pack of an existing SERVER row. Any failure is Failure
// 1010 "updateServicePackTable" "Error while updating the metabase!".
void updateServerServicePack(platform::DatabaseConnection& connection, log::CLog& log,
                             std::string_view machine, std::string_view server,
                             std::string_view servicePack, std::string_view date);

// The procedures below pass over every failure: a refused statement leaves
// its "Begin" line, the database's messages and its "End" line in the log.
void updateModuleVersion(platform::DatabaseConnection& connection, log::CLog& log,
                         std::string_view machine, std::string_view server, std::string_view module,
                         std::string_view version, std::string_view date);
// Inserts or updates the file's OBJECT row. Files of Q-Larch are recorded
// under Q-Common; a four-part version with a revision above 0 is recorded as
// that revision ("7.1.0.3" -> "3").
void saveObject(platform::DatabaseConnection& connection, log::CLog& log, ObjectValues values);
void insertObject(platform::DatabaseConnection& connection, log::CLog& log,
                  const ObjectValues& values);
void updateObject(platform::DatabaseConnection& connection, log::CLog& log,
                  const ObjectValues& values);
// One history row "<product> - <type> <revision>" for the section.
void insertInstallationHistory(const platform::Environment& env,
                               platform::DatabaseConnection& connection, log::CLog& log,
                               const solution::SolutionInfo& solutionInfo, std::string_view server);
// Inserts or updates the PATCH row of the solution's revision.
void savePatch(const platform::Environment& env, platform::DatabaseConnection& connection,
               log::CLog& log, const solution::SolutionInfo& solutionInfo, std::string_view server);
void insertPatch(platform::DatabaseConnection& connection, log::CLog& log,
                 const PatchValues& values);
void updatePatch(platform::DatabaseConnection& connection, log::CLog& log,
                 const PatchValues& values);

// The machine of PATCH and history rows: the web server's host name for the
// "WebServer" section, the SQL Server's name otherwise.
[[nodiscard]] std::string sectionMachine(const platform::Registry& registry,
                                         std::string_view server);

}  // namespace qsi::metabase
