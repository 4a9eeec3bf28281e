#pragma once

#include <set>
#include <string>
#include <string_view>

#include "platform/Environment.h"
#include "solution/Records.h"

namespace qsi::metabase {

// Writes each module's three-part version as AppVersion of its key under the
// section's configuration ("WebServer" or "DbServer"). A module without a key
// is left alone, and so is a module named in `keepVersions` (a file or
// registration of its failed). Any failure is Failure 1010
// "updateRegistryModulesInfo" "Error while updating the Registry!".
void updateRegistryModulesInfo(const platform::Environment& env,
                               const solution::SolutionInfo& solutionInfo,
                               std::string_view installSection,
                               const std::set<std::string>& keepVersions = {});

// Writes one module's AppVersion; any other section writes nothing. Any
// failure is Failure 1010 "updateRegistryModuleInfo".
void updateRegistryModuleInfo(platform::Registry& registry, std::string_view installSection,
                              std::string_view module, std::string_view version);

}  // namespace qsi::metabase
