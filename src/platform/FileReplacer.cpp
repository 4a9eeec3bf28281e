#include "platform/FileReplacer.h"

#include <stdexcept>
#include <system_error>
#include <vector>

#include "platform/Failure.h"

namespace qsi::platform {

namespace fs = std::filesystem;

namespace {

// A batch of one, staged beside its destination; its failure thrown.
void placeOne(FileReplacer& files, const fs::path& source, const fs::path& destination,
              bool asNew) {
  Placement placement;
  placement.source = source;
  placement.destination = destination;
  placement.asNew = asNew;
  files.placeAll(std::span(&placement, 1),
                 destination.has_parent_path() ? destination.parent_path() : fs::path("."),
                 nullptr);
  if (!placement.placed())
    throw std::runtime_error(withReason("cannot copy to " + destination.string(), placement.error));
}

}  // namespace

bool isTemporaryFileName(std::string_view name) {
#ifdef _WIN32
  // GetTempFileNameA's "qsiXXXX.tmp"
  return name.size() == 11 && name.starts_with("qsi") && name.ends_with(".tmp");
#else
  return name.size() == 11 && name.starts_with(".qsi-");
#endif
}

void FileReplacer::replaceWithCopy(const fs::path& source, const fs::path& destination) {
  placeOne(*this, source, destination, false);
}

void FileReplacer::copyToNew(const fs::path& source, const fs::path& destination) {
  placeOne(*this, source, destination, true);
}

fs::path keptBesideFolder(const fs::path& file, std::string_view run) {
  return file.parent_path() / ".qsi-kept" / std::string(run);
}

}  // namespace qsi::platform

#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "platform/Crc16.h"
#include "platform/Crc32.h"
#include "platform/Descriptor.h"
#include "platform/FileIO.h"
#include "platform/Ownership.h"

namespace qsi::platform {

namespace {

[[noreturn]] void throwErrno(int error, const std::string& what, const fs::path& file) {
  throw std::system_error(error, std::generic_category(), what + " " + file.string());
}

fs::path folderOf(const fs::path& file) {
  return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

dev_t deviceOf(const fs::path& path) {
  struct ::stat info = {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
}

// A temporary file, open for writing until the flush, removed unless it was
// renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const fs::path& folder) {
    std::string pattern = (folder / ".qsi-XXXXXX").string();
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) throwErrno(errno, "cannot create a temporary file in", folder);
    path_ = pattern;
  }
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  [[nodiscard]] int fd() const { return fd_; }
  [[nodiscard]] const fs::path& path() const { return path_; }
  void close() {
    if (::close(std::exchange(fd_, -1)) != 0) throwErrno(errno, "cannot close", path_);
  }
  // Renamed into place by its owner: no longer removed.
  void forget() { path_.clear(); }
  void renameTo(const fs::path& destination) {
    if (::rename(path_.c_str(), destination.c_str()) != 0)
      throwErrno(errno, "cannot replace", destination);
    path_.clear();
  }
  // Puts the file in place only where nothing is: link() refuses an
  // existing name, where rename() would replace it.
  void linkAsNew(const fs::path& destination) {
    if (::link(path_.c_str(), destination.c_str()) != 0)
      throwErrno(errno, "cannot make", destination);
  }

 private:
  int fd_ = -1;
  fs::path path_;
};

constexpr std::size_t kChunk = std::size_t{1} << 20;

// One placement on its way: its temporary file, and whether the flush of the
// staging folder's file system covers it.
struct Staged {
  Placement* placement;
  std::unique_ptr<TemporaryFile> temp;
  bool onStagingDevice = true;
};

}  // namespace

void PosixFileReplacer::writeChunk(int out, std::string_view bytes, const fs::path& file) {
  while (!bytes.empty()) {
    const auto written = ::write(out, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    // A write that makes no progress would be tried without end.
    if (written <= 0) throwErrno(written == 0 ? ENOSPC : errno, "cannot write", file);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void PosixFileReplacer::placeAll(std::span<Placement> batch, const fs::path& staging,
                                 AppendOnlyFile* record) {
  const dev_t stagingDevice = deviceOf(staging);
  std::vector<Staged> staged;
  staged.reserve(batch.size());
  std::vector<char> buffer(kChunk);
  const auto fail = [](Placement& placement, const std::exception& e) {
    placement.error = reasonOf(e);
  };

  // 1. Copy each source, taking its size and CRC on the way.
  for (Placement& placement : batch) {
    placement.error.clear();
    try {
      // O_NONBLOCK: a named pipe in the source's place must not stop the run.
      const Descriptor in(
          ::open(placement.source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
      if (in.get() < 0) throwErrno(errno, "cannot open", placement.source);
      struct ::stat from = {};
      if (::fstat(in.get(), &from) != 0) throwErrno(errno, "cannot read", placement.source);
      if (!S_ISREG(from.st_mode))
        throwErrno(S_ISDIR(from.st_mode) ? EISDIR : EINVAL, "not a file:", placement.source);
      const fs::path folder = folderOf(placement.destination);
      const bool sameDevice = deviceOf(folder) == stagingDevice;
      auto temp = std::make_unique<TemporaryFile>(sameDevice ? staging : folder);
      Crc16 crc;
      std::uint32_t strong = 0;
      std::uint64_t size = 0;
      for (;;) {
        const auto got = ::read(in.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throwErrno(errno, "cannot read", placement.source);
        if (got == 0) break;
        const std::string_view bytes(buffer.data(), static_cast<std::size_t>(got));
        crc.update(bytes);
        strong = crc32c(bytes, strong);
        writeChunk(temp->fd(), bytes, temp->path());
        size += bytes.size();
      }
      struct ::stat old = {};
      if (!placement.asNew && ::stat(placement.destination.c_str(), &old) == 0) {
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
          (void)::fchown(temp->fd(), old.st_uid, old.st_gid);  // allowed to root only
        ::fchmod(temp->fd(), old.st_mode & 07777);
      } else {
        // A new file's mode is ours, never the package's: no set-id bit,
        // nothing writable by others.
        ::fchmod(temp->fd(), (from.st_mode & S_IXUSR) != 0 ? 0755 : 0644);
      }
      placement.size = size;
      placement.crc = crc.value();
      placement.crc32c = strong;
      staged.push_back({&placement, std::move(temp), sameDevice});
    } catch (const std::exception& e) {
      fail(placement, e);
    }
  }

  // 2. Saved copies in place, old files kept; a file whose old bytes cannot
  // be kept is not replaced.
  std::set<fs::path> savedElsewhere;  // folders of saved copies the syncfs does not cover
  for (Staged& item : staged) {
    Placement& placement = *item.placement;
    try {
      if (placement.asNew) {
        item.temp->linkAsNew(placement.destination);
        if (!item.onStagingDevice) savedElsewhere.insert(folderOf(placement.destination));
      } else if (!placement.backup.empty() &&
                 (!placement.after || batch[*placement.after].placed()) &&
                 fs::exists(fs::symlink_status(placement.destination))) {
        keep(placement, savedElsewhere);
      }
    } catch (const std::exception& e) {
      fail(placement, e);
    }
  }

  // 3. One flush for everything on the staging folder's file system, one
  // each for what lies elsewhere. Without the first, neither the records
  // nor the saved copies are sure to be on disk: nothing may be renamed.
  const auto failWhere = [&](const std::function<bool(const Staged&)>& covered,
                             const std::exception& e) {
    for (Staged& item : staged) {
      if (!item.placement->placed() || !covered(item)) continue;
      fail(*item.placement, e);
      if (item.placement->asNew) ::unlink(item.placement->destination.c_str());
    }
  };
  try {
    flushFolder(staging, Flush::FileSystem);
    if (record != nullptr && deviceOf(folderOf(record->path())) != stagingDevice) record->sync();
  } catch (const std::exception& e) {
    failWhere([](const Staged&) { return true; }, e);
  }
  for (Staged& item : staged) {
    if (!item.placement->placed()) continue;
    try {
      if (!item.onStagingDevice) flushOrFail(item.temp->fd(), Flush::FileData, item.temp->path());
      item.temp->close();
    } catch (const std::exception& e) {
      fail(*item.placement, e);
    }
  }
  for (const fs::path& folder : savedElsewhere) {
    try {
      flushFolder(folder, Flush::Folder);
    } catch (const std::exception& e) {
      failWhere([&](const Staged& item) { return folderOf(item.placement->destination) == folder; },
                e);
    }
  }

  // 4. The new files in place, in batch order.
  std::set<fs::path> folders;
  for (Staged& item : staged) {
    Placement& placement = *item.placement;
    if (!placement.placed() || placement.asNew) continue;
    if (placement.after && !batch[*placement.after].placed()) {
      placement.error = "not replaced: " + batch[*placement.after].error;
      continue;
    }
    try {
      item.temp->renameTo(placement.destination);
      folders.insert(folderOf(placement.destination));
    } catch (const std::exception& e) {
      fail(placement, e);
    }
  }

  // 5. The renames made durable. A rename that may not outlive a power cut
  // is not reported as done.
  for (const fs::path& folder : folders) {
    try {
      flushFolder(folder, Flush::Folder);
    } catch (const std::exception& e) {
      for (Staged& item : staged)
        if (!item.placement->asNew && item.placement->placed() &&
            folderOf(item.placement->destination) == folder)
          fail(*item.placement, e);
    }
  }
}

// The old file as a second name at its backup; where no link reaches it, a
// copy beside it, whose folder is flushed with the batch's saved copies.
void PosixFileReplacer::keep(const Placement& placement, std::set<fs::path>& folders) {
  if (link(placement.destination, placement.backup) == 0) return;
  if ((errno != EXDEV && errno != EPERM && errno != EMLINK) || placement.keptBeside.empty())
    throwErrno(errno, "cannot keep", placement.destination);
  // The hidden folders lie in the site, where others may have put a link.
  makeOwnFolder(placement.keptBeside.parent_path().parent_path());
  makeOwnFolder(placement.keptBeside.parent_path());
  copyWithAttributes(placement.destination, placement.keptBeside);
  folders.insert(folderOf(placement.keptBeside));
}

int PosixFileReplacer::link(const fs::path& from, const fs::path& to) {
  return ::link(from.c_str(), to.c_str());
}

int PosixFileReplacer::rename(const fs::path& from, const fs::path& to) {
  return ::rename(from.c_str(), to.c_str());
}

void PosixFileReplacer::putBack(const fs::path& kept, const fs::path& destination) {
  const fs::path folder = folderOf(destination);
  if (rename(kept, destination) != 0) {
    if (errno != EXDEV) throwErrno(errno, "cannot put back", destination);
    // Another file system: a copy beside the file, renamed over it once on disk.
    TemporaryFile temp(folder);
    const std::string bytes = readFileBytes(kept);
    writeChunk(temp.fd(), bytes, temp.path());
    if (const auto attributes = attributesOf(kept)) {
      (void)::fchown(temp.fd(), attributes->owner, attributes->group);  // allowed to root only
      ::fchmod(temp.fd(), attributes->mode & 0777);
    }
    flushOrFail(temp.fd(), Flush::FileData, temp.path());
    if (rename(temp.path(), destination) != 0) throwErrno(errno, "cannot put back", destination);
    temp.forget();
    ::unlink(kept.c_str());
  }
}

int PosixFileReplacer::flush(int fd, Flush how) {
  return how == Flush::FileSystem ? ::syncfs(fd)
         : how == Flush::FileData ? ::fdatasync(fd)
                                  : ::fsync(fd);
}

void PosixFileReplacer::flushOrFail(int fd, Flush how, const fs::path& what) {
  // Some file systems keep no folder to flush: nothing is lost there.
  if (flush(fd, how) == 0 || (how == Flush::Folder && (errno == EINVAL || errno == ENOTSUP)))
    return;
  throwErrno(errno, "cannot flush", what);
}

void PosixFileReplacer::flushFolder(const fs::path& folder, Flush how) {
  const Descriptor fd(::open(folder.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY));
  if (fd.get() < 0) throwErrno(errno, "cannot open", folder);
  flushOrFail(fd.get(), how, folder);
}

}  // namespace qsi::platform

#endif
