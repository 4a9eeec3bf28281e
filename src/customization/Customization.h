#pragma once

#include <string>

#include "platform/Environment.h"
#include "solution/Records.h"

namespace qsi::customization {

// Marks the files changed since their last installation (both checksums
// known and different) and lists them in the log "Customizations".
void buildCustomizationsLog(const platform::Environment& env, solution::SolutionInfo& solution);

// The text of the log "Customizations", for a new report window.
[[nodiscard]] std::string showCustomizationReport(const platform::Environment& env);

}  // namespace qsi::customization
