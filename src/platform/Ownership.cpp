#include "platform/Ownership.h"

#include <stdexcept>
#include <system_error>
#include <utility>

#include "platform/FileIO.h"
#include "platform/Paths.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Descriptor.h"
#endif

namespace qsi::platform {

#ifdef _WIN32
struct TrustedFolder::Handle {};

std::optional<std::string> untrustedBy(const std::filesystem::path&) {
  return std::nullopt;
}

bool isLinkMadeSince(const std::filesystem::path&, std::chrono::system_clock::time_point) {
  return false;
}

// Only a symbolic link is refused: ownership is not read there.
void makeOwnFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directory(folder, ec);
  const auto status = std::filesystem::symlink_status(folder, ec);
  if (ec || std::filesystem::is_symlink(status) || !std::filesystem::is_directory(status))
    throw std::runtime_error("the folder " + displayPath(folder) + " is refused: it is no folder");
}

std::optional<TrustedFolder> TrustedFolder::open(const std::filesystem::path& path,
                                                 std::string& why) {
  why.clear();
  std::error_code ec;
  if (!std::filesystem::is_directory(path, ec)) return std::nullopt;
  return TrustedFolder(path, nullptr);
}

std::optional<TrustedFolder> TrustedFolder::openFolder(const std::string& name,
                                                       std::string& why) const {
  return open(path_ / name, why);
}

std::optional<std::string> TrustedFolder::untrustedEntry(const std::string&) const {
  return std::nullopt;
}

std::optional<std::string> TrustedFolder::readFile(const std::string& name,
                                                   std::string& why) const {
  why.clear();
  std::error_code ec;
  if (!std::filesystem::exists(path_ / name, ec)) return std::nullopt;
  try {
    return readFileBytes(path_ / name);
  } catch (const std::system_error& e) {
    why = e.what();
    return std::nullopt;
  }
}
#else
struct TrustedFolder::Handle {
  explicit Handle(int open) : fd(open) {}
  Descriptor fd;
};

namespace {

std::optional<std::string> problemOf(const struct stat& info) {
  if (S_ISLNK(info.st_mode)) return "it is a symbolic link";
  if (info.st_uid != ::geteuid() && info.st_uid != 0)
    return "it is owned by another user (" + std::to_string(info.st_uid) + ")";
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "others than its owner can write it";
  return std::nullopt;
}

// Why an open without following a link failed; empty when nothing is there.
std::string openProblem(int error) {
  if (error == ENOENT) return {};
  if (error == ENOTDIR) return "it is no folder";
  return "it cannot be opened: " + std::generic_category().message(error);
}

}  // namespace

bool isLinkMadeSince(const std::filesystem::path& path,
                     std::chrono::system_clock::time_point since) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return false;
  return std::chrono::system_clock::from_time_t(info.st_ctim.tv_sec) +
             std::chrono::nanoseconds(info.st_ctim.tv_nsec) >=
         since;
}

std::optional<std::string> untrustedBy(const std::filesystem::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0)
    return errno == ENOENT ? std::nullopt : std::optional<std::string>("it cannot be examined");
  return problemOf(info);
}

void makeOwnFolder(const std::filesystem::path& folder) {
  // mkdir never follows a link where the folder should be: it fails as existing.
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    throw std::system_error(errno, std::generic_category(), "cannot make " + displayPath(folder));
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0)
    throw std::system_error(errno, std::generic_category(),
                            "cannot examine " + displayPath(folder));
  auto problem = problemOf(info);
  if (!problem && !S_ISDIR(info.st_mode)) problem = "it is no folder";
  if (problem)
    throw std::runtime_error("the folder " + displayPath(folder) + " is refused: " + *problem);
}

namespace {

std::optional<Descriptor> openChecked(int at, const char* name, int flags, std::string& why) {
  why.clear();
  Descriptor fd(::openat(at, name, flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    const int error = errno;
    // A link opened as a folder fails as no folder: it is named for what it is.
    struct stat entry {};
    const bool link =
        ::fstatat(at, name, &entry, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(entry.st_mode);
    why = link ? "it is a symbolic link" : openProblem(error);
    return std::nullopt;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    why = "it cannot be examined";
    return std::nullopt;
  }
  if (const auto problem = problemOf(info)) {
    why = *problem;
    return std::nullopt;
  }
  if ((flags & O_DIRECTORY) == 0 && !S_ISREG(info.st_mode)) {
    why = "it is no regular file";
    return std::nullopt;
  }
  return std::optional<Descriptor>(std::in_place, fd.release());
}

}  // namespace

std::optional<TrustedFolder> TrustedFolder::open(const std::filesystem::path& path,
                                                 std::string& why) {
  auto fd = openChecked(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY, why);
  if (!fd) return std::nullopt;
  return TrustedFolder(path, std::make_shared<const Handle>(fd->release()));
}

std::optional<TrustedFolder> TrustedFolder::openFolder(const std::string& name,
                                                       std::string& why) const {
  auto fd = openChecked(handle_->fd.get(), name.c_str(), O_RDONLY | O_DIRECTORY, why);
  if (!fd) return std::nullopt;
  return TrustedFolder(path_ / name, std::make_shared<const Handle>(fd->release()));
}

std::optional<std::string> TrustedFolder::untrustedEntry(const std::string& name) const {
  struct stat info {};
  if (::fstatat(handle_->fd.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? std::nullopt : std::optional<std::string>("it cannot be examined");
  return problemOf(info);
}

std::optional<std::string> TrustedFolder::readFile(const std::string& name,
                                                   std::string& why) const {
  const auto fd = openChecked(handle_->fd.get(), name.c_str(), O_RDONLY | O_NONBLOCK, why);
  if (!fd) return std::nullopt;
  std::string bytes;
  char chunk[65536];
  while (true) {
    const auto got = ::read(fd->get(), chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      why = "it cannot be read: " + std::generic_category().message(errno);
      return std::nullopt;
    }
    if (got == 0) return bytes;
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
}
#endif

}  // namespace qsi::platform
