#include "platform/Ownership.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace qsi::platform {

#ifdef _WIN32
std::optional<std::string> untrustedBy(const std::filesystem::path&) {
  return std::nullopt;
}
#else
std::optional<std::string> untrustedBy(const std::filesystem::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0)
    return errno == ENOENT ? std::nullopt : std::optional<std::string>("it cannot be examined");
  if (S_ISLNK(info.st_mode)) return "it is a symbolic link";
  if (info.st_uid != ::geteuid() && info.st_uid != 0)
    return "it is owned by another user (" + std::to_string(info.st_uid) + ")";
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "others than its owner can write it";
  return std::nullopt;
}
#endif

}  // namespace qsi::platform
