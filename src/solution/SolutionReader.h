#pragma once

#include "log/CLog.h"
#include "platform/Environment.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::solution {

// Reads the whole package beside the installer into one record, showing it in
// txtSolution and logging it to "Gathering Solution Information" through the
// solution reader's own `log`. Sets `folders`. Without "Solution.info" it
// tells the administrator and returns an empty record; any other failure is
// Failure 1010 "Error reading the solution info!".
[[nodiscard]] SolutionInfo readSolutionInfo(const platform::Environment& env,
                                            SolutionFolders& folders, log::CLog& log);

// The same for a package whose folders are given, wherever it lies (the
// package author's tool reads packages that are not beside it).
[[nodiscard]] SolutionInfo readSolutionInfoAt(const platform::Environment& env,
                                              const SolutionFolders& folders, log::CLog& log);

}  // namespace qsi::solution
