#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/CLog.h"
#include "platform/Environment.h"
#include "solution/ContentScan.h"
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

// Why a module's version from its definition file cannot be used: there is
// none, or it is no version the comparison can read (the module would be
// skipped and recorded as 0.0.0). nullopt when it can.
[[nodiscard]] std::optional<std::string> moduleVersionProblem(std::string_view version);

// The definition files, by package path, of the modules whose version cannot
// be used, and why.
[[nodiscard]] std::vector<RefusedEntry> unversionedModules(const std::vector<ModuleInfo>& modules);

// Fills one module's record from its definition file and logs it.
[[nodiscard]] ModuleInfo readModuleInfo(const platform::Environment& env,
                                        const SolutionFolders& folders, const std::string& name,
                                        log::CLog& log);

}  // namespace qsi::solution
