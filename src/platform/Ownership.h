#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qsi::platform {

// Why `path` may not be trusted as written by this installer, or nothing
// when it may: it is a symbolic link, it is owned by a user other than the
// one running the installer (or the administrator), or others than its
// owner may write it. The path itself is examined, never what a link names.
// A path that is missing is trusted: there is nothing to follow.
//
// On Windows nothing is refused yet: ownership and write access there are
// held in security descriptors, which the platform layer does not read.
[[nodiscard]] std::optional<std::string> untrustedBy(const std::filesystem::path& path);

}  // namespace qsi::platform
