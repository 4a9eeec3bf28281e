#pragma once

#include <cstddef>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "actions/ActionServices.h"
#include "actions/InstallationPlan.h"
#include "journal/Journal.h"
#include "platform/Environment.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::actions {

inline constexpr std::string_view kComponentLog = "Register Components";
inline constexpr std::string_view kCopyLog = "FileCopy";
inline constexpr std::string_view kVerifyLog = "Verify";

// What the file installation run did, so that the records tell the truth:
// only files put in place are recorded, and a module with a failure keeps its
// old version.
struct InstallationResult {
  std::vector<bool> installed;          // per entry of the file list: the new file is in place
  std::size_t failedFiles = 0;          // not put in place, each named in "FileCopy"
  std::size_t failedVerifications = 0;  // in place, but not as shipped: named in "Verify"
  std::size_t failedRegistrations = 0;
  std::size_t savedFiles = 0;           // copies saved below the run's QOCustomized folder
  std::set<std::string> failedModules;  // modules with a failed file or registration

  [[nodiscard]] bool hasFailures() const {
    return failedFiles + failedVerifications + failedRegistrations > 0;
  }
};

// The file entries as the records must tell them: only files that were put
// in place count as installed.
[[nodiscard]] solution::SolutionInfo installedOnly(const solution::SolutionInfo& info,
                                                   const InstallationResult& files);

// Where the new file of an entry lies, relative to the package root: where
// the scan found it; for an entry that does not say, the package's Web
// folder for "QO11" paths and QBackend for the QCedar Backend.dll.
[[nodiscard]] std::string packagePathOf(const solution::FileEntry& entry);

// The run's folder for saved customized files:
// InstMainDir/QOCustomized/<run folder>.
[[nodiscard]] std::filesystem::path customizedFilesFolder(
    const platform::Environment& env, const std::filesystem::path& installationRoot);

// Carries out the plan's files. Copies the package's Java classes into the
// machine's Java folder, then installs each planned file in list order:
// saves the installed copy first where the plan says so (and where the file
// changed after the information was retrieved), unregisters a COM component,
// removes an MTS component, puts the new file in place, registers and
// installs the component again. Files without components go in batches of
// up to 64 files or 8 MiB; a component's file is a batch of its own, between
// its unregistration and its registration. Every change is told to
// `journal` and flushed before it takes effect, and every old file is kept
// in it. A file whose saved copy cannot be made is left as it is. Finally
// every installed file is read back and the CRC of its bytes compared with
// its shipped checksum, whatever its name (with what was written, when the
// package ships none or "0"); a difference is written to the log "Verify"
// and counts as a failed verification. Writes the logs
// "Register Components" and "FileCopy"; passes over every failure of a
// file, and tells in its result what was done.
InstallationResult installFiles(const platform::Environment& env, const ActionServices& services,
                                const std::filesystem::path& installationRoot,
                                const solution::SolutionInfo& info,
                                const solution::SolutionFolders& folders,
                                const InstallationPlan& plan, journal::Journal& journal);

}  // namespace qsi::actions
