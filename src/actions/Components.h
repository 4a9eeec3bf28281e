#pragma once

#include <filesystem>
#include <string_view>

#include "platform/ComRegistrar.h"
#include "platform/MtsCatalog.h"

namespace qsi::actions {

// The suite's MTS package, into which its components are installed.
inline constexpr std::string_view kMtsPackageName = "Q-Orchard";

// How a registration went. A machine without the service (no transaction
// server, no commerce server) has nothing to register with: that is passed
// over, as the installation always did.
enum class Registration { Done, ServiceUnavailable, Failed };

// Registers (or unregisters) the COM component of an installed DLL. Never
// throws: the installation run goes on whatever the outcome, and counts
// what failed.
Registration registerCOMComponent(platform::ComRegistrar& com, const std::filesystem::path& dll,
                                  bool doRegister);

// Installs the DLL into the MTS package of that exact name, or removes every
// component of the package whose DLL is this one (letter case aside). The
// package is sought from the last index down, so the last of two packages of
// one name wins; when there is none, nothing is done. A failing catalog call
// ends the operation and reaches the caller.
void registerMTSComponent(platform::MtsCatalog& mts, const std::filesystem::path& dll,
                          std::string_view packageName, bool install);

}  // namespace qsi::actions
