#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qsi::platform {

enum class EntryKind { File, Folder, Link, Other };

struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::Other;
};

// The entries of a folder, "." and ".." left out, in the order the system
// gives them. Each kind is the one the directory itself records where the
// file system records one (no call per entry), else one status call that does
// not follow a link; a link is never followed. Throws std::system_error
// naming the folder when it cannot be read.
[[nodiscard]] std::vector<FolderEntry> listFolder(const std::filesystem::path& folder);

}  // namespace qsi::platform
