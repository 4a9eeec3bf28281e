#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Environment.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::solution {

// The package's content files as file entries, in scan order, each with its
// installation path, module, component kinds and shipped checksum. Empty
// when the package root does not exist; throws when a folder cannot be listed.
[[nodiscard]] std::vector<FileEntry> readSolutionContent(const platform::Environment& env,
                                                         const SolutionFolders& folders);

// Walks `folder`, whose data path below the package root is `packageFolder`
// ("" for the root), depth first: its files, then its sub-folders, each by
// name without regard to case. Appends an entry with `packagePath` and `path`
// (the installation path) for every content file: a file whose folder, below
// the package root, has "Web" or "Components" in its path and whose name does
// not end in ".scc". Every folder is entered except links to folders, which
// could lead back up the tree.
void scanSolutionFolder(const std::filesystem::path& folder, const std::string& packageFolder,
                        std::vector<FileEntry>& found);

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
