#pragma once

#include <filesystem>

namespace qsi::solution {

// The package's folders, set by readSolutionInfo and used by every reader.
struct SolutionFolders {
  std::filesystem::path solutionRoot;         // <installer folder>/Solution
  std::filesystem::path configurationFolder;  // solutionRoot/configuration files
  std::filesystem::path sqlFolder;            // solutionRoot/Sql

  [[nodiscard]] static SolutionFolders beside(const std::filesystem::path& installerFolder) {
    return at(installerFolder / "Solution");
  }

  // The folders of a package whose root is `root`, wherever it lies.
  [[nodiscard]] static SolutionFolders at(const std::filesystem::path& root) {
    return {root, root / "configuration files", root / "Sql"};
  }
};

}  // namespace qsi::solution
