#pragma once

#include <string>

#include "log/CLog.h"
#include "platform/Environment.h"
#include "solution/Records.h"

namespace qsi::control {

// Sets the current and the Metabase checksum of every file entry. One Metabase
// connection serves the whole loop; when it cannot be opened every Metabase
// checksum is "0". A lookup that fails even after the connection was opened
// again marks its entry and is logged to the site reader's `log`. Never fails
// for a missing file or row; an installed file that exists but cannot be read
// is Failure 1010 naming it.
void readCurrentSiteChecksums(const platform::Environment& env, solution::SolutionInfo& solution,
                              log::CLog& log);

// Marks the files changed since their last installation (both checksums
// known and different) and lists them in the log "Customizations".
void buildCustomizationsLog(const platform::Environment& env, solution::SolutionInfo& solution);

// The text of the log "Customizations", for a new report window.
[[nodiscard]] std::string showCustomizationReport(const platform::Environment& env);

}  // namespace qsi::control
