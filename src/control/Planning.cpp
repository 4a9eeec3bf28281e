#include "control/Planning.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "actions/FileInstallation.h"
#include "metabase/MetabaseStatements.h"
#include "metabase/SAPassword.h"
#include "metabase/SqlScripts.h"
#include "platform/OdbcConnection.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "site/RegistryAccess.h"
#include "version/Version.h"

namespace qsi::control {

namespace fs = std::filesystem;
using actions::FileAction;
using actions::PlannedValue;

namespace {

// What the Metabase holds now, asked with its own login as the checksum
// lookup asks; nothing when it cannot be reached.
class RecordedRows {
 public:
  explicit RecordedRows(const platform::Environment& env) {
    try {
      connection_ = platform::databasesOf(env).connection();
      connection_->open(metabase::kMetabaseConnectionString, "", "");
    } catch (const std::exception& failure) {
      platform::rethrowIfRunEnding(failure);
      connection_.reset();
    }
  }
  // The column of the first row the query gives; nullopt when there is none.
  std::optional<std::string> value(const std::string& query, std::string_view column) {
    if (!connection_) return std::nullopt;
    try {
      const platform::OdbcResult result = connection_->query(query);
      if (result.bof() || result.eof()) return std::nullopt;
      return result.field(column).value_or("");
    } catch (const std::exception& failure) {
      platform::rethrowIfRunEnding(failure);
      return std::nullopt;
    }
  }

 private:
  std::unique_ptr<platform::DatabaseConnection> connection_;
};

std::string where(std::string_view machine, std::string_view server) {
  return "MACHINE = '" + metabase::sqlValue(machine) + "' AND SERVER = '" +
         metabase::sqlValue(server) + "'";
}

std::string threeParts(const solution::ModuleInfo& module) {
  return module.versionPart1 + "." + module.versionPart2 + "." + module.versionPart3;
}

std::vector<std::string> javaClasses(const solution::SolutionFolders& folders) {
  std::vector<std::string> names;
  const fs::path classes = folders.solutionRoot / "Classes";
  std::error_code ec;
  if (!fs::is_directory(classes, ec)) return names;
  for (const auto& item : fs::recursive_directory_iterator(classes))
    if (item.symlink_status().type() == fs::file_type::regular)
      names.push_back("Classes\\" + platform::toDataPath(item.path().lexically_relative(classes)));
  std::sort(names.begin(), names.end());
  return names;
}

void planRegistry(const platform::Environment& env, const solution::SolutionInfo& info,
                  std::string_view config, actions::InstallationPlan& plan) {
  for (const solution::ModuleInfo& module : info.modules) {
    const std::string key = site::moduleKey(config, module.name);
    // Only modules the suite registered are updated: a missing key gets nothing.
    if (!env.registry.subKeys(key)) continue;
    plan.registryValues.push_back(
        {key + " AppVersion", env.registry.readValue(key, "AppVersion"), threeParts(module)});
  }
}

void planMetabase(const platform::Environment& env, const solution::SolutionInfo& info,
                  std::string_view section, RecordedRows& rows, actions::InstallationPlan& plan) {
  const std::string host = site::getHostname(env.registry);
  const std::string machine = metabase::sectionMachine(env.registry, section);
  const std::string& type = info.solutionType;
  if (type != "Solution")
    for (const solution::ModuleInfo& module : info.modules) {
      const std::string condition =
          where(host, section) + " AND MODULE = '" + metabase::sqlValue(module.name) + "'";
      // An update: a module without a row gets none.
      if (auto before = rows.value("SELECT VERSION FROM MODULE WHERE " + condition, "VERSION"))
        plan.metabaseRows.push_back(
            {"MODULE " + host + "/" + std::string(section) + "/" + module.name + " VERSION",
             std::move(before), threeParts(module)});
    }
  if (type == "ServicePack")
    if (auto before = rows.value("SELECT SERVICEPACK FROM SERVER WHERE " + where(host, section),
                                 "SERVICEPACK"))
      plan.metabaseRows.push_back({"SERVER " + host + "/" + std::string(section) + " SERVICEPACK",
                                   std::move(before), info.version + " "});
  if (type == "Solution" && !info.versionPart4.empty())
    plan.metabaseRows.push_back(
        {"PATCH " + machine + "/" + std::string(section) + "/" + info.versionPart4,
         rows.value("SELECT PATCH FROM PATCH WHERE " + where(machine, section) + " AND PATCH = '" +
                        metabase::sqlValue(info.versionPart4) + "'",
                    "PATCH"),
         info.versionPart4});
  plan.metabaseRows.push_back(
      {"INSTALLATIONHISTORY " + machine + "/" + std::string(section), std::nullopt,
       info.productName + " - " + info.solutionType + " " + info.versionPart4});
}

}  // namespace

actions::InstallationPlan makeInstallationPlan(const platform::Environment& env,
                                               const solution::SolutionInfo& info,
                                               const site::SiteInfo& site,
                                               const solution::SolutionFolders& folders) {
  actions::InstallationPlan plan;
  plan.product = info.productName + " " + info.version + " (" + info.solutionType + ")";
  for (const solution::ModuleInfo& module : info.modules) {
    const std::string installed = site::getModuleVersion(module.name, site.Modules);
    plan.modules.push_back(
        {module.name, installed, module.version,
         version::compareVersions(installed, module.version) == version::kSecondGreater});
  }
  plan.files = actions::planFiles(info, site.Modules, site.InstMainDir);
  plan.stopsServices = info.hasFiles && info.hasComponents;
  if (info.hasFiles) plan.javaClasses = javaClasses(folders);
  plan.scripts = metabase::planScripts(folders.sqlFolder, info);

  if (info.solutionType != "Solution") {
    if (info.hasFiles) planRegistry(env, info, site::kWebServerConfig, plan);
    if (info.hasSqlScripts) planRegistry(env, info, site::kDbServerConfig, plan);
  }
  RecordedRows rows(env);
  if (info.hasFiles) {
    const std::string host = site::getHostname(env.registry);
    for (const actions::PlannedFile& file : plan.files) {
      if (file.action == FileAction::NotInstalled || file.again) continue;
      const solution::FileEntry& entry = info.files[file.entry];
      plan.metabaseRows.push_back(
          {"OBJECT " + host + "/WebServer/" + entry.path + " CHECKSUM",
           entry.metabaseChecksum == "0" ? std::nullopt : std::optional(entry.metabaseChecksum),
           entry.solutionChecksum});
    }
    planMetabase(env, info, metabase::kWebServer, rows, plan);
  }
  if (info.hasSqlScripts) planMetabase(env, info, metabase::kDbServer, rows, plan);
  return plan;
}

}  // namespace qsi::control
