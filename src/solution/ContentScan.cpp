#include "solution/ContentScan.h"

namespace qsi::solution {

std::vector<FileEntry> readSolutionContent(const platform::Environment& /*env*/,
                                           const SolutionFolders& /*folders*/) {
  return {};
}

}  // namespace qsi::solution
