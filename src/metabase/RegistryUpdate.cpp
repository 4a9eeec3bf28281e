#include "metabase/RegistryUpdate.h"

#include <exception>

#include "metabase/MetabaseStatements.h"
#include "site/RegistryAccess.h"

namespace qsi::metabase {

namespace {
constexpr std::string_view kRegistryFailure = "Error while updating the Registry!";
}

void updateRegistryModulesInfo(const platform::Environment& env,
                               const solution::SolutionInfo& solutionInfo,
                               std::string_view installSection,
                               const std::set<std::string>& keepVersions) {
  try {
    for (const solution::ModuleInfo& module : solutionInfo.modules) {
      if (keepVersions.contains(module.name)) continue;
      updateRegistryModuleInfo(env.registry, installSection, module.name,
                               module.version.threeParts());
    }
  } catch (const std::exception& failure) {
    platform::raiseReplacing(failure, platform::kReadFailure, "updateRegistryModulesInfo",
                             std::string(kRegistryFailure));
  }
}

void updateRegistryModuleInfo(platform::Registry& registry, std::string_view installSection,
                              std::string_view module, std::string_view version) {
  try {
    // The key must exist: only modules the suite registered are updated, and
    // a missing key is no failure. A store that cannot keep the change throws,
    // which becomes failure 1010 below.
    if (installSection == kWebServer)
      (void)site::writeRegistryValue(registry, site::moduleKey(site::kWebServerConfig, module),
                                     "AppVersion", version);
    else if (installSection == kDbServer)
      (void)site::writeRegistryValue(registry, site::moduleKey(site::kDbServerConfig, module),
                                     "AppVersion", version);
  } catch (const std::exception& failure) {
    platform::raiseReplacing(failure, platform::kReadFailure, "updateRegistryModuleInfo",
                             std::string(kRegistryFailure));
  }
}

}  // namespace qsi::metabase
