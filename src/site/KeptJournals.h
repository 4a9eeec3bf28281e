#pragma once

#include <cstddef>
#include <string>

#include "platform/Registry.h"

namespace qsi::site {

inline constexpr std::size_t kDefaultKeptJournals = 5;

// How many runs keep their journals and saved files: the environment
// setting QSI_KEEP_JOURNALS, else the value "KeepJournals" (a REG_DWORD or a
// text) of the installer's own key, else 5. A setting that is no whole
// number from 1 to 1000 is not taken: `problem` then tells which, for the
// log, and the default holds.
[[nodiscard]] std::size_t keptJournals(const platform::Registry& registry, std::string& problem);

}  // namespace qsi::site
