#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ComRegistrar.h"
#include "platform/MtsCatalog.h"

namespace qsi::actions {

// The suite's MTS package, into which its components are installed.
inline constexpr std::string_view kMtsPackageName = "Q-Orchard";

// Registers (or unregisters) the COM component of an installed DLL. Throws
// platform::ServiceUnavailable when the machine has no registrar (what the
// installation always passed over), and Failure with the registrar's reason
// when the registration fails.
void registerCOMComponent(platform::ComRegistrar& com, const std::filesystem::path& dll,
                          bool doRegister);

// Installs the DLL into the MTS package of that exact name, or removes every
// component of the package whose DLL is this one (letter case aside). The
// package is sought from the last index down, so the last of two packages of
// one name wins; when there is none, nothing is done. A failing catalog call
// ends the operation and reaches the caller.
void registerMTSComponent(platform::MtsCatalog& mts, const std::filesystem::path& dll,
                          std::string_view packageName, bool install);

// The DLLs of the package's components, in the catalog's order; nullopt when
// there is no package of that name.
[[nodiscard]] std::optional<std::vector<std::string>> packageComponents(
    platform::MtsCatalog& mts, std::string_view packageName);

// Puts the package's components back in the order `before` lists them (an
// undo): those of `dll` (letter case aside) as `before` has them, each path
// in its own letter case; every other component that is there stays, and
// one added since comes last. From the first place that differs, the
// components are removed and installed again in that order.
//
// The catalog refuses a component installed twice, so those after the first
// difference are gone between the removal and their installing: `taken`, the
// whole list a restore cut short there was putting back, keeps them (and
// their places); `beforeRemoving` is told the whole list before anything is
// removed, to keep it where a later restore finds it.
void restorePackageComponents(
    platform::MtsCatalog& mts, std::string_view packageName, const std::filesystem::path& dll,
    const std::vector<std::string>& before, const std::vector<std::string>& taken = {},
    const std::function<void(const std::vector<std::string>&)>& beforeRemoving = {});

}  // namespace qsi::actions
