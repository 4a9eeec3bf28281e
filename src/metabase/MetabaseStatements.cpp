#include "metabase/MetabaseStatements.h"

#include <charconv>
#include <exception>

#include "platform/Text.h"
#include "site/RegistryAccess.h"
#include "version/Version.h"

namespace qsi::metabase {

using platform::kCrLf;

namespace {

const std::string kQuoteOpen = "'";

// Log writes never stop the recording of an installation.
void logLine(log::CLog& log, std::string_view line) noexcept {
  try {
    log.writeLine(line);
  } catch (const std::exception&) {
  }
}

void logErrors(log::CLog& log, const std::exception& failure) noexcept {
  if (const auto* odbc = dynamic_cast<const platform::OdbcFailure*>(&failure)) {
    for (const auto& error : odbc->errors()) logLine(log, "Error : " + error);
  } else {
    logLine(log, std::string("Error : ") + failure.what());
  }
}

// Sends a statement that writes, passing over its failure.
void send(platform::DatabaseConnection& connection, log::CLog& log, const std::string& statement) {
  logLine(log, "Begin" + std::string(kCrLf) + statement);
  try {
    connection.execute(statement);
  } catch (const std::exception& failure) {
    logErrors(log, failure);
    platform::rethrowIfRunEnding(failure);
  }
  logLine(log, "End" + std::string(kCrLf));
}

// Sends a lookup; true when it found a row, and also when the lookup itself
// failed, so that the update is tried.
bool lookup(platform::DatabaseConnection& connection, log::CLog& log,
            const std::string& statement) {
  logLine(log, "Begin" + statement);
  bool found = true;
  try {
    const platform::OdbcResult result = connection.query(statement);
    found = !result.bof() && !result.eof();
  } catch (const std::exception& failure) {
    logErrors(log, failure);
    platform::rethrowIfRunEnding(failure);
  }
  logLine(log, "End" + std::string(kCrLf));
  return found;
}

bool isPositiveNumber(std::string_view text) {
  text = platform::trim(text);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value > 0;
}

}  // namespace

std::string sqlValue(std::string_view value) {
  return platform::replaceAll(value, "'", "''");
}

std::string updateServerStatement(std::string_view machine, std::string_view server,
                                  std::string_view servicePack, std::string_view date) {
  return "UPDATE SERVER SET INSTALLATIONDATESP = '" + sqlValue(date) + "', SERVICEPACK = '" +
         sqlValue(servicePack) + " 'WHERE MACHINE = '" + sqlValue(machine) + "' AND SERVER = '" +
         sqlValue(server) + "'";
}

std::string updateModuleStatement(std::string_view machine, std::string_view server,
                                  std::string_view module, std::string_view version,
                                  std::string_view date) {
  return "UPDATE MODULE SET INSTALLATIONDATE = '" + sqlValue(date) + "', VERSION = '" +
         sqlValue(version) + "' WHERE MACHINE = '" + sqlValue(machine) + "' AND SERVER = '" +
         sqlValue(server) + "' AND MODULE = '" + sqlValue(module) + "'";
}

std::string selectObjectStatement(std::string_view machine, std::string_view server,
                                  std::string_view object) {
  return "SELECT * from OBJECT WHERE MACHINE = '" + sqlValue(machine) + "' AND SERVER = '" +
         sqlValue(server) + "' AND OBJECT = '" + sqlValue(object) + "'";
}

std::string insertObjectStatement(const ObjectValues& v) {
  return "INSERT INTO "
         "OBJECT(MACHINE,SERVER,MODULE,OBJECT,VERSION,CHECKSUM,INSTALLATIONDATE,"
         "INSTALLATIONSTATUS,SIZE,VSSVERSION) VALUES ('" +
         sqlValue(v.machine) + "','" + sqlValue(v.server) + "','" + sqlValue(v.module) + "','" +
         sqlValue(v.object) + "','" + sqlValue(v.version) + "','" + sqlValue(v.checksum) + "','" +
         sqlValue(v.date) + "','0','0','0')";
}

std::string updateObjectStatement(const ObjectValues& v) {
  return "UPDATE OBJECT SET MODULE = '" + sqlValue(v.module) + "', INSTALLATIONDATE = '" +
         sqlValue(v.date) + "', VERSION = '" + sqlValue(v.version) + "', CHECKSUM = '" +
         sqlValue(v.checksum) + "'WHERE MACHINE = '" + sqlValue(v.machine) + "' AND SERVER = '" +
         sqlValue(v.server) + "' AND OBJECT = '" + sqlValue(v.object) + "'";
}

std::string insertHistoryStatement(std::string_view machine, std::string_view server,
                                   std::string_view description, std::string_view date) {
  return "INSERT INTO "
         "INSTALLATIONHISTORY(MACHINE,SERVER,DESCRIPTION,INSTALLATIONDATE,INSTALLATIONSTATUS) "
         "VALUES ('" +
         sqlValue(machine) + "','" + sqlValue(server) + "','" + sqlValue(description) + "','" +
         sqlValue(date) + "','0')";
}

std::string selectPatchStatement(const PatchValues& v) {
  return "SELECT * from PATCH WHERE MACHINE = '" + sqlValue(v.machine) + "' AND SERVER = '" +
         sqlValue(v.server) + "' AND PATCH = '" + sqlValue(v.patch) + "'";
}

std::string insertPatchStatement(const PatchValues& v) {
  return "INSERT INTO PATCH(MACHINE,SERVER,PATCH,INSTALLATIONDATE,INSTALLATIONSTATUS) VALUES ('" +
         sqlValue(v.machine) + "','" + sqlValue(v.server) + "','" + sqlValue(v.patch) + "','" +
         sqlValue(v.date) + "','0')";
}

std::string updatePatchStatement(const PatchValues& v) {
  return "UPDATE PATCH SET INSTALLATIONDATE = '" + sqlValue(v.date) + "', PATCH = '" +
         sqlValue(v.patch) + "'WHERE MACHINE = '" + sqlValue(v.machine) + "' AND SERVER = '" +
         sqlValue(v.server) + "' AND PATCH = '" + sqlValue(v.patch) + "'";
}

void updateServerServicePack(platform::DatabaseConnection& connection, log::CLog& log,
                             std::string_view machine, std::string_view server,
                             std::string_view servicePack, std::string_view date) {
  const std::string statement = updateServerStatement(machine, server, servicePack, date);
  logLine(log, "Begin" + std::string(kCrLf) + statement);
  try {
    connection.execute(statement);
  } catch (const std::exception& failure) {
    logErrors(log, failure);
    platform::raiseReplacing(failure, platform::kReadFailure, "updateServicePackTable",
                             "Error while updating the metabase!");
  }
  logLine(log, "End" + std::string(kCrLf));
}

void updateModuleVersion(platform::DatabaseConnection& connection, log::CLog& log,
                         std::string_view machine, std::string_view server, std::string_view module,
                         std::string_view version, std::string_view date) {
  send(connection, log, updateModuleStatement(machine, server, module, version, date));
}

void saveObject(platform::DatabaseConnection& connection, log::CLog& log, ObjectValues values) {
  if (values.module == "Q-Larch") values.module = "Q-Common";
  if (platform::split(values.version, '.').size() == 4) {
    const std::string revision = version::getVersionRevision(values.version);
    if (isPositiveNumber(revision)) values.version = revision;
  }
  if (lookup(connection, log, selectObjectStatement(values.machine, values.server, values.object)))
    updateObject(connection, log, values);
  else
    insertObject(connection, log, values);
}

void insertObject(platform::DatabaseConnection& connection, log::CLog& log,
                  const ObjectValues& values) {
  send(connection, log, insertObjectStatement(values));
}

void updateObject(platform::DatabaseConnection& connection, log::CLog& log,
                  const ObjectValues& values) {
  send(connection, log, updateObjectStatement(values));
}

std::string sectionMachine(const platform::Registry& registry, std::string_view server) {
  return server == kWebServer ? site::getHostname(registry) : site::getSqlServerName(registry);
}

void insertInstallationHistory(const platform::Environment& env,
                               platform::DatabaseConnection& connection, log::CLog& log,
                               const solution::SolutionInfo& solutionInfo,
                               std::string_view server) {
  try {
    const std::string description = solutionInfo.productName + " - " + solutionInfo.solutionType +
                                    " " + solutionInfo.version.revisionPart();
    send(connection, log,
         insertHistoryStatement(sectionMachine(env.registry, server), server, description,
                                env.stamp.installDateText));
  } catch (const std::exception& failure) {  // the registry could not be read
    platform::rethrowIfRunEnding(failure);
    logErrors(log, failure);
  }
}

void savePatch(const platform::Environment& env, platform::DatabaseConnection& connection,
               log::CLog& log, const solution::SolutionInfo& solutionInfo,
               std::string_view server) {
  std::string patch = solutionInfo.version.revisionPart();
  if (patch.empty()) return;
  try {
    const PatchValues values{sectionMachine(env.registry, server), std::string(server),
                             std::move(patch), env.stamp.installDateText};
    if (lookup(connection, log, selectPatchStatement(values)))
      updatePatch(connection, log, values);
    else
      insertPatch(connection, log, values);
  } catch (const std::exception& failure) {  // the registry could not be read
    platform::rethrowIfRunEnding(failure);
    logErrors(log, failure);
  }
}

void insertPatch(platform::DatabaseConnection& connection, log::CLog& log,
                 const PatchValues& values) {
  send(connection, log, insertPatchStatement(values));
}

void updatePatch(platform::DatabaseConnection& connection, log::CLog& log,
                 const PatchValues& values) {
  send(connection, log, updatePatchStatement(values));
}

}  // namespace qsi::metabase
