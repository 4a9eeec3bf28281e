#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace qsi::site {

inline constexpr std::string_view kRootKey = "SOFTWARE\\Corvane\\Corvane Q-Orchard";

// The four values of the suite's root key. Each is read afresh at every call
// (a log opened after InstMainDir changed uses the new folder). A missing
// value, a root key that cannot be opened, or a value too long for the
// reader's buffer read as the empty text.
[[nodiscard]] std::string getInstallDir(const platform::Registry& registry);
[[nodiscard]] std::string getInstMainDir(const platform::Registry& registry);
[[nodiscard]] std::string getIISVirtId(const platform::Registry& registry);
[[nodiscard]] std::string getMemScriptCode(const platform::Registry& registry);

// Why the text of InstMainDir cannot be the base of the suite's files, its
// logs and its saved files: it is no absolute path, it is a root, it has a
// "." or ".." part or holds a control character. nullopt when it can.
[[nodiscard]] std::optional<std::string> instMainDirProblem(std::string_view instMainDir);

// The folder of the site's logs, InstMainDir/QOLog. Throws Failure when
// InstMainDir is not set or cannot be a base (instMainDirProblem): the logs
// would land at the file system's root or anywhere.
[[nodiscard]] std::filesystem::path logRootOf(const platform::Registry& registry);

}  // namespace qsi::site
