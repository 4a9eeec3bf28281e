#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Environment.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::solution {

// One entry of the package below its root, as the walk met it.
struct PackageEntry {
  std::string packagePath;  // data path below the package root ("Web\Q-Alder\default.asp")
  bool isFolder = false;
};

// An entry the installer will not take from a package, and why.
struct RefusedEntry {
  std::string packagePath;  // control characters escaped, fit to be shown
  std::string reason;
};

// Everything below the package root, met in one walk.
struct PackageListing {
  // Depth first: a folder's files, then its sub-folders, each by name
  // without regard to case.
  std::vector<PackageEntry> entries;
  // Names that could climb out of a folder or forge a line, names Windows
  // cannot hold, links, and what is neither a regular file nor a folder.
  // Refused folders are not entered.
  std::vector<RefusedEntry> refused;
};

// Walks the package rooted at `root`, taking each entry's kind from the
// directory listing without following links. Throws when a folder cannot
// be listed.
[[nodiscard]] PackageListing scanSolutionFolder(const std::filesystem::path& root);

// Whether a file of the listing is content: its folder's path below the
// package root has "Web" or "Components" in it and its name does not end in
// ".scc".
[[nodiscard]] bool isContentFile(const PackageEntry& entry);

// The package's content files as file entries, in scan order, each with its
// installation path, module, component kinds and shipped checksum.
[[nodiscard]] std::vector<FileEntry> readSolutionContent(const platform::Environment& env,
                                                         const SolutionFolders& folders,
                                                         PackageListing listing);

// Package path to installation path: web files go below "QO11\", components
// into "Components\" and their module's folder, sub-folders flattened away.
[[nodiscard]] std::string getInstallationPath(std::string_view packagePath);

// The display name of the module an installation or package path belongs
// to; never empty ("Q-Common" where the maps know nothing better).
[[nodiscard]] std::string getModuleOfPath(std::string_view path);

// The text after the last backslash, or the whole text when there is none.
[[nodiscard]] std::string getFileName(std::string_view path);

// Fills `entry` for the installation path: module, path, component kinds and
// shipped checksum, showing the lookup path in the progress detail.
void processFileInformation(const platform::Environment& env, const SolutionFolders& folders,
                            const std::string& installationPath, FileEntry& entry);

}  // namespace qsi::solution
