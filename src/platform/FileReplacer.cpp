#include "platform/FileReplacer.h"

#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/Descriptor.h"
#include "platform/FileIO.h"

namespace qsi::platform {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void throwErrno(int error, const std::string& what, const fs::path& file) {
  throw std::system_error(error, std::generic_category(), what + " " + file.string());
}

// The temporary file, removed unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const fs::path& destination) {
    const fs::path folder =
        destination.has_parent_path() ? destination.parent_path() : fs::path(".");
    std::string pattern = (folder / ".qsi-XXXXXX").string();
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) throwErrno(errno, "cannot create a temporary file beside", destination);
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

constexpr std::size_t kChunk = std::size_t{8} << 20;

}  // namespace

std::size_t PosixFileReplacer::copyChunk(int in, int out, std::size_t count, const fs::path& file) {
  for (;;) {
    const auto copied = ::copy_file_range(in, nullptr, out, nullptr, count, 0);
    if (copied >= 0) return static_cast<std::size_t>(copied);
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
        errno != EPERM)
      throwErrno(errno, "cannot write", file);
    break;  // this pair of file systems has no kernel copy: read and write
  }
  std::vector<char> buffer(std::min(count, std::size_t{1} << 20));
  ssize_t got = 0;
  while ((got = ::read(in, buffer.data(), buffer.size())) < 0)
    if (errno != EINTR) throwErrno(errno, "cannot read the source of", file);
  std::size_t done = 0;
  while (done < static_cast<std::size_t>(got)) {
    const auto written = ::write(out, buffer.data() + done, static_cast<std::size_t>(got) - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      throwErrno(errno, "cannot write", file);
    }
    done += static_cast<std::size_t>(written);
  }
  return done;
}

void PosixFileReplacer::replaceWithCopy(const fs::path& source, const fs::path& destination) {
  copyAndPlace(source, destination, true);
}

void PosixFileReplacer::copyToNew(const fs::path& source, const fs::path& destination) {
  copyAndPlace(source, destination, false);
}

void PosixFileReplacer::copyAndPlace(const fs::path& source, const fs::path& destination,
                                     bool replace) {
  // O_NONBLOCK: a named pipe in the source's place must not stop the run.
  const Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (in.get() < 0) throwErrno(errno, "cannot open", source);
  struct ::stat from = {};
  if (::fstat(in.get(), &from) != 0) throwErrno(errno, "cannot read", source);
  if (!S_ISREG(from.st_mode)) throwErrno(EISDIR, "not a file:", source);

  TemporaryFile temp(destination);
  while (copyChunk(in.get(), temp.fd(), kChunk, temp.path()) > 0) {
  }
  struct ::stat old = {};
  if (replace && ::stat(destination.c_str(), &old) == 0) {
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
      (void)::fchown(temp.fd(), old.st_uid, old.st_gid);  // allowed to root only
    ::fchmod(temp.fd(), old.st_mode & 07777);
  } else {
    // A new file's mode is ours, never the package's: no set-id bit, nothing
    // writable by others.
    ::fchmod(temp.fd(), (from.st_mode & S_IXUSR) != 0 ? 0755 : 0644);
  }
  if (::fsync(temp.fd()) != 0) throwErrno(errno, "cannot flush", temp.path());
  temp.close();
  if (replace)
    temp.renameTo(destination);
  else
    temp.linkAsNew(destination);  // the temporary name goes with `temp`
  syncFile(destination.has_parent_path() ? destination.parent_path() : fs::path("."));
}

}  // namespace qsi::platform

#endif
