#pragma once

#include <string>
#include <vector>

#include "log/CLog.h"
#include "platform/Environment.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::solution {

// The module names of the package: every file of the configuration folder
// whose name ends in ".ini" (exact case), without that ending, in name order.
// Throws Failure 1010 "Error retrieving the modulenames!" when the folder
// cannot be listed.
[[nodiscard]] std::vector<std::string> readSolutionModuleNames(const platform::Environment& env,
                                                               const SolutionFolders& folders);

// The module's first database: "QOCommon" for Q-Common, else the name without hyphens.
[[nodiscard]] std::string moduleDatabaseName(const std::string& module);

// Fills one module's record from its definition file and logs it.
[[nodiscard]] ModuleInfo readModuleInfo(const platform::Environment& env,
                                        const SolutionFolders& folders, const std::string& name,
                                        log::CLog& log);

}  // namespace qsi::solution
