#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "actions/ActionServices.h"
#include "platform/Environment.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::actions {

inline constexpr std::string_view kComponentLog = "Register Components";
inline constexpr std::string_view kCopyLog = "FileCopy";

// Where the new file of an entry lies, relative to the package root: where
// the scan found it; for an entry that does not say, the package's Web
// folder for "QO11" paths and QBackend for the QCedar Backend.dll.
[[nodiscard]] std::string packagePathOf(const solution::FileEntry& entry);

// The run's folder for saved customized files:
// InstMainDir/QOCustomized/<InstallDateAndTimeFormat>.
[[nodiscard]] std::filesystem::path customizedFilesFolder(
    const platform::Environment& env, const std::filesystem::path& installationRoot);

// Copies the package's Java classes into the machine's Java folder, then
// installs every entry marked for installation, in list order and one after
// the other: saves the installed copy of a customized file, unregisters its
// COM component, removes it from the MTS package, copies the new file,
// registers and installs the component again. A customized file whose copy
// cannot be saved is left as it is. Writes the logs "Register Components"
// and "FileCopy"; passes over every failure and reports none to the caller.
void installFiles(const platform::Environment& env, const ActionServices& services,
                  const std::filesystem::path& installationRoot, const solution::SolutionInfo& info,
                  const solution::SolutionFolders& folders);

}  // namespace qsi::actions
