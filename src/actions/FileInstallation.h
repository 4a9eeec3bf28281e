#pragma once

#include <cstddef>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "actions/ActionServices.h"
#include "platform/Environment.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::actions {

inline constexpr std::string_view kComponentLog = "Register Components";
inline constexpr std::string_view kCopyLog = "FileCopy";

// What the file installation run did, so that the records tell the truth:
// only files put in place are recorded, and a module with a failure keeps its
// old version.
struct InstallationResult {
  std::vector<bool> installed;  // per entry of the file list: the new file is in place
  std::size_t failedFiles = 0;
  std::size_t failedRegistrations = 0;
  std::size_t savedFiles = 0;           // copies saved below the run's QOCustomized folder
  std::set<std::string> failedModules;  // modules with a failed file or registration

  [[nodiscard]] bool hasFailures() const { return failedFiles + failedRegistrations > 0; }
};

// Where the new file of an entry lies, relative to the package root: where
// the scan found it; for an entry that does not say, the package's Web
// folder for "QO11" paths and QBackend for the QCedar Backend.dll.
[[nodiscard]] std::string packagePathOf(const solution::FileEntry& entry);

// The run's folder for saved customized files:
// InstMainDir/QOCustomized/<run folder>.
[[nodiscard]] std::filesystem::path customizedFilesFolder(
    const platform::Environment& env, const std::filesystem::path& installationRoot);

// Copies the package's Java classes into the machine's Java folder, then
// installs every entry marked for installation, in list order and one after
// the other: saves the installed copy of a customized file, unregisters its
// COM component, removes it from the MTS package, copies the new file,
// registers and installs the component again. An installed file is saved
// first, too, when it changed after the information was retrieved or the
// Metabase could not tell whether it was customized; a path is saved at most
// once per run, before it is first replaced, and a saved copy is never
// overwritten. A file whose copy cannot be saved is left as it is. Writes the
// logs "Register Components" and "FileCopy"; passes over every failure of a
// file, and tells in its result what was done.
InstallationResult installFiles(const platform::Environment& env, const ActionServices& services,
                                const std::filesystem::path& installationRoot,
                                const solution::SolutionInfo& info,
                                const solution::SolutionFolders& folders);

}  // namespace qsi::actions
