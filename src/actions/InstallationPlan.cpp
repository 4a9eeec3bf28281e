#include "actions/InstallationPlan.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "actions/FileInstallation.h"
#include "actions/Services.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "site/SiteInformation.h"

namespace qsi::actions {

namespace {

const std::string kLine(platform::kCrLf);

std::string count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string actionText(const PlannedFile& file) {
  switch (file.action) {
    case FileAction::New:
      return "new             ";
    case FileAction::Replace:
      return "replace         ";
    case FileAction::SaveAndReplace:
      return "save, replace   ";
    case FileAction::NotInstalled:
      break;
  }
  return "not installed   ";
}

std::string valueText(const PlannedValue& value) {
  return value.where + ": " + (value.before ? "\"" + *value.before + "\"" : "(none)") + " -> \"" +
         value.after + "\"";
}

void appendFile(std::string& text, const PlannedFile& file) {
  text += "  " + actionText(file) + file.path + "   from " + file.packagePath;
  if (const std::string reason = reasonOf(file); !reason.empty()) text += "   (" + reason + ")";
  if (file.again) text += "   (installed a second time: the later one wins)";
  text += kLine;
  if (file.action == FileAction::NotInstalled) return;
  if (file.isCOMComponent)
    text +=
        "                  COM component: unregistered before the copy, registered after" + kLine;
  if (file.isMTSComponent)
    text +=
        "                  MTS component: removed from the package before the copy, "
        "installed after" +
        kLine;
}

}  // namespace

std::string_view saveReasonText(SaveReason reason) {
  switch (reason) {
    case SaveReason::None:
      break;
    case SaveReason::Customized:
      return "customized";
    case SaveReason::LookupFailed:
      return "the Metabase could not tell whether it was customized";
    case SaveReason::ChangedMeanwhile:
      return "changed after the information was retrieved";
  }
  return {};
}

std::string reasonOf(const PlannedFile& file) {
  return file.save != SaveReason::None ? std::string(saveReasonText(file.save))
                                       : file.notInstalledWhy;
}

std::vector<PlannedFile> planFiles(const std::vector<solution::FileEntry>& entries,
                                   const std::vector<solution::ModuleInfo>& modules,
                                   const std::vector<solution::ModuleInfo>& installedModules,
                                   const std::filesystem::path& instMainDir) {
  std::vector<PlannedFile> files;
  std::set<std::string> installedPaths;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const solution::FileEntry& entry = entries[i];
    PlannedFile& file = files.emplace_back();
    file.entry = i;
    file.path = entry.path;
    file.module = entry.module;
    file.packagePath = packagePathOf(entry);
    file.isCOMComponent = entry.isCOMComponent;
    file.isMTSComponent = entry.isMTSComponent;
    if (!entry.install) {
      file.notInstalledWhy = "installed " + site::getModuleVersion(entry.module, installedModules) +
                             ", the package's " + site::getModuleVersion(entry.module, modules);
      continue;
    }
    const auto installed = platform::joinBelow(instMainDir, entry.path);
    std::error_code ec;
    if (!installedPaths.insert(entry.path).second) {
      file.action = FileAction::Replace;
      file.again = true;
    } else if (!installed || !std::filesystem::exists(*installed, ec)) {
      file.action = FileAction::New;
    } else if (entry.customized) {
      file.action = FileAction::SaveAndReplace;
      file.save = SaveReason::Customized;
    } else if (entry.metabaseLookupFailed) {
      file.action = FileAction::SaveAndReplace;
      file.save = SaveReason::LookupFailed;
    } else {
      file.action = FileAction::Replace;
    }
  }
  return files;
}

std::vector<solution::ModuleInfo> installedModules(const InstallationPlan& plan,
                                                   const solution::SolutionInfo& info,
                                                   const std::set<std::string>& failed) {
  std::vector<solution::ModuleInfo> modules;
  for (const PlannedModule& planned : plan.modules) {
    if (!planned.install || failed.contains(planned.name)) continue;
    for (const solution::ModuleInfo& module : info.modules)
      if (module.name == planned.name) modules.push_back(module);
  }
  return modules;
}

std::string planText(const InstallationPlan& plan) {
  std::size_t installed = 0, created = 0, saved = 0, com = 0, mts = 0;
  for (const PlannedFile& file : plan.files) {
    if (file.action == FileAction::NotInstalled) continue;
    ++installed;
    created += file.action == FileAction::New ? 1 : 0;
    saved += file.action == FileAction::SaveAndReplace ? 1 : 0;
    com += file.isCOMComponent ? 1 : 0;
    mts += file.isMTSComponent ? 1 : 0;
  }
  const auto modules = static_cast<std::size_t>(std::count_if(
      plan.modules.begin(), plan.modules.end(), [](const auto& m) { return m.install; }));
  const auto scripts = static_cast<std::size_t>(std::count_if(
      plan.scripts.begin(), plan.scripts.end(), [](const auto& s) { return s.skipped.empty(); }));

  std::string text = "Installation Plan" + kLine + plan.product + kLine + kLine;
  text += "Modules:          " + count(modules, "to install", "to install") + ", " +
          count(plan.modules.size() - modules, "skipped", "skipped") + kLine;
  text += "Files:            " + count(installed, "to install", "to install") + " (" +
          count(created, "new", "new") + ", " + count(saved, "saved first", "saved first") + "), " +
          count(plan.files.size() - installed, "not installed", "not installed") + kLine;
  text += "Components:       " + count(com, "COM registration", "COM registrations") + ", " +
          count(mts, "MTS component", "MTS components") + kLine;
  text += std::string("Services:         ") +
          (plan.stopsServices ? "stopped, and the NT services started again" : "not stopped") +
          kLine;
  text += "Java classes:     " + std::to_string(plan.javaClasses.size()) + kLine;
  text += "SQL scripts:      " + count(scripts, "to run", "to run") + ", " +
          count(plan.scripts.size() - scripts, "that runs nothing", "that run nothing") + kLine;
  text += "Registry values:  " + std::to_string(plan.registryValues.size()) + kLine;
  text += "Metabase rows:    " + std::to_string(plan.metabaseRows.size()) + kLine;
  if (!plan.webPassedOver.empty())
    text += "Web server part:  passed over, " + plan.webPassedOver + kLine;
  if (!plan.databasePassedOver.empty())
    text += "Database part:    passed over, " + platform::escapeControls(plan.databasePassedOver) +
            kLine;

  if (plan.stopsServices) {
    text += kLine + "Services" + kLine;
    std::string nt;
    for (const std::string& service : getNTServices()) nt += (nt.empty() ? "" : ", ") + service;
    text += "  stop   " + nt + ", MTS" + kLine;
    const auto qo = getQOServices();
    text += "  stop   " + qo.front() + " ... " + qo.back() + " (the suite's, not started again)" +
            kLine;
    text += "  start  " + nt + kLine;
  }

  for (const PlannedModule& module : plan.modules) {
    text += kLine + "Module " + module.name + ": " + (module.install ? "install, " : "skip, ") +
            (module.installedVersion.empty() ? "not installed" : module.installedVersion) +
            (module.recordedBy
                 ? " (recorded by the run of " + platform::escapeControls(*module.recordedBy) + ")"
                 : "") +
            " -> " + (module.newVersion.empty() ? "(no version)" : module.newVersion) + kLine;
    for (const PlannedFile& file : plan.files)
      if (file.module == module.name) appendFile(text, file);
  }
  // Files of a module the package brings no definition file for.
  bool heading = false;
  for (const PlannedFile& file : plan.files) {
    if (std::any_of(plan.modules.begin(), plan.modules.end(),
                    [&](const auto& m) { return m.name == file.module; }))
      continue;
    if (!heading) text += kLine + "Files of modules the package does not define" + kLine;
    heading = true;
    appendFile(text, file);
  }

  if (!plan.javaClasses.empty()) {
    text += kLine + "Java classes" + kLine;
    for (const std::string& name : plan.javaClasses) text += "  " + name + kLine;
  }
  if (!plan.scripts.empty()) {
    text += kLine + "SQL scripts, in run order" + kLine;
    for (std::size_t i = 0; i < plan.scripts.size(); ++i) {
      const PlannedScript& script = plan.scripts[i];
      text += "  " + std::to_string(i + 1) + ". " +
              (!script.skipped.empty() ? "runs nothing: " + script.skipped
               : !script.note.empty()  ? platform::escapeControls(script.name) + ": " + script.note
                                       : script.name + " on " + script.database) +
              kLine;
    }
  }
  if (!plan.registryValues.empty()) {
    text += kLine + "Registry values" + kLine;
    for (const PlannedValue& value : plan.registryValues) text += "  " + valueText(value) + kLine;
  }
  if (!plan.metabaseRows.empty()) {
    text += kLine + "Metabase rows" + kLine;
    for (const PlannedValue& row : plan.metabaseRows) text += "  " + valueText(row) + kLine;
  }
  if (!plan.keptVersions.empty()) {
    text += kLine + "Versions kept" + kLine;
    for (const KeptVersion& kept : plan.keptVersions) text += "  " + keptText(kept) + kLine;
  }
  return text;
}

std::set<std::string> InstallationPlan::keptModules(std::string_view section,
                                                    bool inRegistry) const {
  std::set<std::string> kept;
  for (const KeptVersion& version : keptVersions)
    if (version.section == section && version.inRegistry == inRegistry) kept.insert(version.module);
  return kept;
}

std::string keptText(const KeptVersion& kept) {
  return kept.where + ": \"" + kept.recorded + "\" kept, the package's version " + kept.packaged +
         " is lower";
}

}  // namespace qsi::actions
