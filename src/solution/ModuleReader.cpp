#include "solution/ModuleReader.h"

#include <algorithm>
#include <system_error>

#include "platform/Failure.h"
#include "platform/Text.h"
#include "version/Version.h"

namespace qsi::solution {

namespace fs = std::filesystem;

std::vector<std::string> readSolutionModuleNames(const platform::Environment& env,
                                                 const SolutionFolders& folders) {
  env.ui.setProgress(platform::ProgressBox::Text, "Retrieving the Modules in the Solution", false);
  std::vector<std::string> names;
  try {
    for (const auto& item : fs::directory_iterator(folders.configurationFolder)) {
      const std::string file = item.path().filename().string();
      if (item.is_directory() || !file.ends_with(".ini")) continue;
      names.push_back(platform::replaceAll(file, ".ini", ""));
    }
  } catch (const fs::filesystem_error&) {
    throw platform::Failure(platform::kReadFailure, "readSolutionModuleNames",
                            "Error retrieving the modulenames!");
  }
  // Case-blind name order; names that differ in case only (possible outside
  // Windows) keep a fixed order too.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    if (platform::ilessThan(a, b) || platform::ilessThan(b, a)) return platform::ilessThan(a, b);
    return a < b;
  });
  return names;
}

std::string moduleDatabaseName(const std::string& module) {
  return module == "Q-Common" ? "QOCommon" : platform::replaceAll(module, "-", "");
}

std::optional<std::string> moduleVersionProblem(std::string_view version) {
  if (platform::trim(version).empty()) return "no Version in section ReleaseInfo";
  if (version::isReadableVersion(version)) return std::nullopt;
  return "the Version \"" + platform::escapeControls(version) +
         "\" of section ReleaseInfo is no version of up to four numbers";
}

std::vector<RefusedEntry> unversionedModules(const std::vector<ModuleInfo>& modules) {
  std::vector<RefusedEntry> refused;
  for (const ModuleInfo& module : modules)
    if (const auto problem = moduleVersionProblem(module.version.text()))
      refused.push_back({"configuration files\\" + module.name + ".ini", *problem});
  return refused;
}

ModuleInfo readModuleInfo(const platform::Environment& env, const SolutionFolders& folders,
                          const std::string& name, log::CLog& log) {
  const fs::path file = folders.configurationFolder / (name + ".ini");
  const auto userOf = [&](const std::string& database) {
    return env.profiles.readIniValue(file, "Databases." + database, "User");
  };
  ModuleInfo module;
  log.writeSection("Module name : " + name);
  module.name = name;
  module.version = version::Version(env.profiles.readIniValue(file, "ReleaseInfo", "Version"));
  log.writeLine("Version       : " + module.version.text());
  std::vector<std::string> databases{moduleDatabaseName(name)};
  if (name == "Q-Common") databases.insert(databases.end(), {"QOMetabase", "QOMembership"});
  for (std::string& database : databases) {
    ModuleDatabase& added = module.databases.emplace_back();
    added.user = userOf(database);
    added.name = std::move(database);
    log.writeLine("Database Name : " + added.name);
    log.writeLine("User          : " + added.user);
  }
  return module;
}

}  // namespace qsi::solution
