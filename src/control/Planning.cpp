#include "control/Planning.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "actions/FileInstallation.h"
#include "metabase/MetabaseReader.h"
#include "metabase/MetabaseStatements.h"
#include "metabase/SqlScripts.h"
#include "platform/OdbcConnection.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "site/InstallerRecord.h"
#include "site/RegistryAccess.h"
#include "version/Version.h"

namespace qsi::control {

namespace fs = std::filesystem;
using actions::FileAction;
using actions::PlannedValue;

namespace {

std::string where(std::string_view machine, std::string_view server) {
  return "MACHINE = '" + metabase::sqlValue(machine) + "' AND SERVER = '" +
         metabase::sqlValue(server) + "'";
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

// A version is never lowered: equal versions are written again, with their
// date, as a newer one is.
bool keeps(const std::optional<std::string>& recorded, const solution::ModuleInfo& module,
           std::string_view section, bool inRegistry, std::string where,
           actions::InstallationPlan& plan) {
  if (!recorded ||
      version::compareVersions(module.version.text(), *recorded) != version::kSecondGreater)
    return false;
  plan.keptVersions.push_back({std::string(section), module.name, inRegistry, std::move(where),
                               *recorded, module.version.text()});
  return true;
}

void planRegistry(const platform::Environment& env, const solution::SolutionInfo& info,
                  std::string_view section, actions::InstallationPlan& plan) {
  const std::string_view config =
      section == metabase::kWebServer ? site::kWebServerConfig : site::kDbServerConfig;
  for (const solution::ModuleInfo& module : info.modules) {
    const std::string key = site::moduleKey(config, module.name);
    // Only modules the suite registered are updated: a missing key gets nothing.
    if (!env.registry.subKeys(key)) continue;
    site::checkStringValue(env.registry, key, "AppVersion");
    auto before = env.registry.readValue(key, "AppVersion");
    if (!keeps(before, module, section, true, key + " AppVersion", plan))
      plan.registryValues.push_back(
          {key + " AppVersion", std::move(before), module.version.threeParts()});
  }
}

void planMetabase(const platform::Environment& env, const solution::SolutionInfo& info,
                  const site::SiteInfo& site, std::string_view section,
                  metabase::MetabaseReader& rows, actions::InstallationPlan& plan) {
  const std::string host = site::getHostname(env.registry);
  const std::string machine = metabase::sectionMachine(env.registry, section);
  const std::string& type = info.solutionType;
  if (type != "Solution")
    for (const solution::ModuleInfo& module : info.modules) {
      const std::string condition =
          where(host, section) + " AND MODULE = '" + metabase::sqlValue(module.name) + "'";
      const std::string row =
          "MODULE " + host + "/" + std::string(section) + "/" + module.name + " VERSION";
      auto before = rows.value("SELECT VERSION FROM MODULE WHERE " + condition, "VERSION");
      // A Metabase that cannot be asked is taken to hold what the site has installed.
      const auto recorded = before || rows.reached()
                                ? before
                                : std::optional(site::getModuleVersion(module.name, site.modules));
      // An update: a module without a row gets none.
      if (!keeps(recorded, module, section, false, row, plan) && before)
        plan.metabaseRows.push_back({row, std::move(before), module.version.threeParts()});
    }
  if (type == "ServicePack")
    if (auto before = rows.value("SELECT SERVICEPACK FROM SERVER WHERE " + where(host, section),
                                 "SERVICEPACK"))
      plan.metabaseRows.push_back({"SERVER " + host + "/" + std::string(section) + " SERVICEPACK",
                                   std::move(before), info.version.text() + " "});
  const std::string patch = info.version.revisionPart();
  if (type == "Solution" && !patch.empty())
    plan.metabaseRows.push_back(
        {"PATCH " + machine + "/" + std::string(section) + "/" + patch,
         rows.value("SELECT PATCH FROM PATCH WHERE " + where(machine, section) + " AND PATCH = '" +
                        metabase::sqlValue(patch) + "'",
                    "PATCH"),
         patch});
  plan.metabaseRows.push_back({"INSTALLATIONHISTORY " + machine + "/" + std::string(section),
                               std::nullopt,
                               info.productName + " - " + info.solutionType + " " + patch});
}

std::optional<std::string> recordedBy(std::string_view module, const site::SiteInfo& site) {
  std::optional<std::string> run;
  for (const site::RecordedModule& recorded : site.recorded)
    if (recorded.name == module) run = recorded.run;
  return run;
}

// Scripts a run completed are not run again: the installer's record names
// the run that completed this very Sequence.txt with these very scripts.
void planScriptsRecord(const platform::Environment& env, const solution::SolutionInfo& info,
                       const solution::SolutionFolders& folders, actions::InstallationPlan& plan) {
  std::vector<std::string> names;
  for (const solution::FileEntry& script : info.sqlScripts) names.push_back(script.path);
  plan.scriptsChecksum = site::scriptsChecksum(folders.sqlFolder, names);
  const auto run = site::scriptsCompletedBy(env.registry, plan.scriptsChecksum);
  if (!run) return;
  plan.databasePassedOver = "the run of " + *run + " completed these very scripts";
  for (actions::PlannedScript& script : plan.scripts)
    if (script.skipped.empty())
      script.skipped = platform::escapeControls(script.name) + ": the run of " +
                       platform::escapeControls(*run) + " ran it to its end: it is not run again.";
}

// The part a run leaves out runs nothing, and its plan says so.
void restrictToPart(actions::InstallationPlan& plan, Part part) {
  if (part == Part::web) {
    const std::string why = "the database part is not run (--part web)";
    for (actions::PlannedScript& script : plan.scripts)
      if (script.skipped.empty()) script.skipped = why;
    plan.databasePassedOver = why;
  } else if (part == Part::db) {
    const std::string why = "the web server part is not run (--part db)";
    for (actions::PlannedFile& file : plan.files) {
      if (file.action == actions::FileAction::NotInstalled) continue;
      file = {.entry = file.entry,
              .path = file.path,
              .module = file.module,
              .packagePath = file.packagePath,
              .notInstalledWhy = why};
    }
    plan.stopsServices = false;
    plan.javaClasses.clear();
    plan.webPassedOver = why;
  }
}

}  // namespace

actions::InstallationPlan makeInstallationPlan(const platform::Environment& env,
                                               const solution::SolutionInfo& info,
                                               const site::SiteInfo& site,
                                               const solution::SolutionFolders& folders,
                                               Part part) {
  actions::InstallationPlan plan;
  plan.product = info.productName + " " + info.version.text() + " (" + info.solutionType + ")";
  for (const solution::ModuleInfo& module : info.modules) {
    const std::string installed = site::getModuleVersion(module.name, site.modules);
    plan.modules.push_back(
        {module.name, installed, module.version.text(),
         version::compareVersions(installed, module.version.text()) == version::kSecondGreater,
         recordedBy(module.name, site)});
  }
  plan.files = actions::planFiles(info.files, info.modules, site.modules, site.instMainDir);
  if (info.hasFiles && std::all_of(plan.files.begin(), plan.files.end(), [](const auto& file) {
        return file.action == FileAction::NotInstalled;
      }))
    plan.webPassedOver = "none of its files is to be installed";
  const bool web = info.hasFiles && plan.webPassedOver.empty();
  plan.stopsServices = web && info.hasComponents;
  if (web) plan.javaClasses = javaClasses(folders);
  plan.scripts = metabase::planScripts(folders.sqlFolder, info.sqlScripts);
  if (info.hasSqlScripts) planScriptsRecord(env, info, folders, plan);
  const bool database = info.hasSqlScripts && plan.databasePassedOver.empty();

  if (info.solutionType != "Solution") {
    if (web) planRegistry(env, info, metabase::kWebServer, plan);
    if (database) planRegistry(env, info, metabase::kDbServer, plan);
  }
  // What the Metabase holds now, asked as the checksum lookup asks.
  metabase::MetabaseReader rows(platform::databasesOf(env));
  if (web) {
    const std::string host = site::getHostname(env.registry);
    for (const actions::PlannedFile& file : plan.files) {
      if (file.action == FileAction::NotInstalled || file.again) continue;
      const solution::FileEntry& entry = info.files[file.entry];
      plan.metabaseRows.push_back({"OBJECT " + host + "/WebServer/" + entry.path + " CHECKSUM",
                                   entry.metabaseChecksum, entry.solutionChecksum.value_or("")});
    }
    planMetabase(env, info, site, metabase::kWebServer, rows, plan);
  }
  if (database) planMetabase(env, info, site, metabase::kDbServer, rows, plan);
  restrictToPart(plan, part);
  return plan;
}

}  // namespace qsi::control
