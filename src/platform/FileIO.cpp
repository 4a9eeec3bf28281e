#include "platform/FileIO.h"

#include <cerrno>
#include <fstream>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qsi::platform {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void throwErrno(const std::string& what, const fs::path& file) {
  throw std::system_error(errno, std::generic_category(), what + " " + file.string());
}

#ifndef _WIN32
// A file descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  [[nodiscard]] int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

void writeAll(int fd, std::string_view bytes, const fs::path& file) {
  while (!bytes.empty()) {
    const auto written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      throwErrno("cannot write", file);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}
#endif

}  // namespace

std::string readFileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throwErrno("cannot open", file);
  std::string bytes;
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  if (!ec) bytes.reserve(static_cast<std::size_t>(size));
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) throwErrno("cannot read", file);
  return bytes;
}

void syncFile(const fs::path& file) {
#ifdef _WIN32
  (void)file;
#else
  const Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
#endif
}

void writeFileAtomically(const fs::path& file, std::string_view bytes) {
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
#ifdef _WIN32
  const fs::path temp = folder / (file.filename().string() + ".qsi-tmp");
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      std::error_code ignored;
      fs::remove(temp, ignored);
      throwErrno("cannot write", temp);
    }
  }
  if (!MoveFileExA(temp.string().c_str(), file.string().c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "cannot replace " + file.string());
  }
#else
  std::string pattern = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
  Descriptor fd(::mkstemp(pattern.data()));
  if (fd.get() < 0) throwErrno("cannot create a temporary file beside", file);
  const fs::path temp(pattern);
  try {
    writeAll(fd.get(), bytes, temp);
    if (::fsync(fd.get()) != 0) throwErrno("cannot flush", temp);
    // Keep the permissions of the file being replaced.
    struct ::stat old = {};
    if (::stat(file.c_str(), &old) == 0)
      ::fchmod(fd.get(), old.st_mode & 07777);
    else
      ::fchmod(fd.get(), 0644);
    if (::close(fd.release()) != 0) throwErrno("cannot close", temp);
    if (::rename(temp.c_str(), file.c_str()) != 0) throwErrno("cannot replace", file);
  } catch (...) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw;
  }
  syncFile(folder);
#endif
}

FileLock::FileLock(const fs::path& lockFile) {
#ifndef _WIN32
  fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) throwErrno("cannot open the lock file", lockFile);
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd_);
      throwErrno("cannot lock", lockFile);
    }
  }
#else
  (void)lockFile;
#endif
}

FileLock::~FileLock() {
#ifndef _WIN32
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
#endif
}

}  // namespace qsi::platform
