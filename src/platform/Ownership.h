#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
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

// Whether `path` is a symbolic link made, or moved where it is, at or after
// `since`, as its own change time tells, which no user can set back. On
// Windows never: links there are not examined yet.
[[nodiscard]] bool isLinkMadeSince(const std::filesystem::path& path,
                                   std::chrono::system_clock::time_point since);

// Makes the folder `folder` (its parent must exist) private to its owner,
// without following a link, or takes it as it is when it is there and
// untrustedBy finds nothing. Throws std::system_error when it cannot be made
// or examined, std::runtime_error naming the folder and why it is refused
// (a link, another user's, writable by others, no folder).
void makeOwnFolder(const std::filesystem::path& folder);

// A folder opened without following a link and checked, as untrustedBy
// checks a path, on the open folder itself; what lies in it is examined and
// read relative to it, so that a folder or file swapped for a link after
// the check is never followed. On Windows the folder is held by its path
// and nothing is refused, as for untrustedBy.
class TrustedFolder {
 public:
  // The folder `path`, or nothing with why it is refused in `why` (empty
  // when it is missing).
  [[nodiscard]] static std::optional<TrustedFolder> open(const std::filesystem::path& path,
                                                         std::string& why);
  // The folder `name` in this one, checked alike.
  [[nodiscard]] std::optional<TrustedFolder> openFolder(const std::string& name,
                                                        std::string& why) const;
  // Why the entry `name` may not be trusted, as untrustedBy tells it.
  [[nodiscard]] std::optional<std::string> untrustedEntry(const std::string& name) const;
  // The bytes of the regular file `name`, opened without following a link
  // and checked on its descriptor; nothing when it is missing (`why` empty)
  // or refused or unreadable (`why` tells it).
  [[nodiscard]] std::optional<std::string> readFile(const std::string& name,
                                                    std::string& why) const;
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  struct Handle;
  TrustedFolder(std::filesystem::path path, std::shared_ptr<const Handle> handle)
      : path_(std::move(path)), handle_(std::move(handle)) {}
  std::filesystem::path path_;
  std::shared_ptr<const Handle> handle_;  // the open folder; none on Windows
};

}  // namespace qsi::platform
