#pragma once

#include "platform/Environment.h"
#include "site/SiteInformation.h"
#include "solution/Records.h"

namespace qsi::control {

// Marks each file for installation when the package carries a newer version
// of its module than the installed one, logging each decision to
// "FilesToBeInstalled".
void determineWhatToInstall(const platform::Environment& env, solution::SolutionInfo& solution,
                            const site::SiteInfo& site);

}  // namespace qsi::control
