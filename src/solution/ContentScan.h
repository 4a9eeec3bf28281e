#pragma once

#include <vector>

#include "platform/Environment.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::solution {

// The package's content files (below Web and Components) as file entries.
[[nodiscard]] std::vector<FileEntry> readSolutionContent(const platform::Environment& env,
                                                         const SolutionFolders& folders);

}  // namespace qsi::solution
