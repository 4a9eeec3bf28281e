#pragma once

#include <filesystem>

namespace qsi::solution {

// The package's folders, set by readSolutionInfo and used by every reader.
struct SolutionFolders {
  std::filesystem::path solutionRoot;         // <installer folder>/Solution
  std::filesystem::path configurationFolder;  // solutionRoot/configuration files
  std::filesystem::path sqlFolder;            // solutionRoot/Sql
  std::filesystem::path fileVersions;         // configurationFolder/FileVersion.txt

  [[nodiscard]] static SolutionFolders beside(const std::filesystem::path& installerFolder) {
    return at(installerFolder / "Solution");
  }

  // The folders of a package whose root is `root`, wherever it lies.
  [[nodiscard]] static SolutionFolders at(const std::filesystem::path& root) {
    const std::filesystem::path configuration = root / "configuration files";
    return {root, configuration, root / "Sql", configuration / "FileVersion.txt"};
  }
};

}  // namespace qsi::solution
