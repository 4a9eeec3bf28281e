#include "platform/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "platform/win32/WindowsApi.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/Descriptor.h"
#include "platform/Environment.h"

namespace qsi::platform {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void throwErrno(const std::string& what, const fs::path& file) {
  throw std::system_error(errno, std::generic_category(), what + " " + file.string());
}

#ifndef _WIN32
void writeAll(int fd, std::string_view bytes, const fs::path& file) {
  while (!bytes.empty()) {
    const auto written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    // A write that makes no progress would be tried without end.
    if (written == 0) errno = ENOSPC;
    if (written <= 0) throwErrno("cannot write", file);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}
#endif

}  // namespace

#ifdef _WIN32
InputFile::InputFile(const fs::path& file) : file_(file) {
  const HANDLE handle =
      CreateFileA(file.string().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "cannot open " + file.string());
  handle_ = handle;
  LARGE_INTEGER size{};
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size)) {
    CloseHandle(handle);
    throw std::system_error(EINVAL, std::generic_category(),
                            "not a regular file: " + file.string());
  }
  size_ = static_cast<std::uintmax_t>(size.QuadPart);
}

InputFile::~InputFile() {
  CloseHandle(static_cast<HANDLE>(handle_));
}

std::size_t InputFile::read(char* buffer, std::size_t size) {
  DWORD got = 0;
  const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, std::size_t{1} << 30));
  if (!ReadFile(static_cast<HANDLE>(handle_), buffer, wanted, &got, nullptr))
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "cannot read " + file_.string());
  return got;
}
#else
InputFile::InputFile(const fs::path& file) : file_(file) {
  // O_NONBLOCK: opening a named pipe would otherwise wait for a writer.
  Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) throwErrno("cannot open", file);
  struct ::stat info = {};
  if (::fstat(fd.get(), &info) != 0) throwErrno("cannot read", file);
  if (!S_ISREG(info.st_mode))
    throw std::system_error(S_ISDIR(info.st_mode) ? EISDIR : EINVAL, std::generic_category(),
                            "not a regular file: " + file.string());
  size_ = static_cast<std::uintmax_t>(info.st_size);
  fd_ = fd.release();
}

InputFile::~InputFile() {
  ::close(fd_);
}

std::size_t InputFile::read(char* buffer, std::size_t size) {
  for (;;) {
    const auto got = ::read(fd_, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) throwErrno("cannot read", file_);
  }
}
#endif

std::error_code regularFileProblem(const fs::path& file) {
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (ec || fs::is_regular_file(status)) return ec;
  return std::make_error_code(!fs::exists(status)        ? std::errc::no_such_file_or_directory
                              : fs::is_directory(status) ? std::errc::is_a_directory
                                                         : std::errc::invalid_argument);
}

std::string readFileBytes(const fs::path& file) {
  InputFile in(file);
  std::string bytes(static_cast<std::size_t>(in.size()), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t got = in.read(bytes.data() + done, bytes.size() - done);
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  // A file that grew since it was opened is read to its end.
  char more[4096];
  for (std::size_t got = 0; (got = in.read(more, sizeof more)) > 0;) bytes.append(more, got);
  return bytes;
}

void syncFile(const fs::path& file) {
#ifdef _WIN32
  // A folder cannot be opened so: its entries are the file system's to keep.
  const Handle handle(CreateFileA(file.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (handle.valid()) FlushFileBuffers(handle.get());
#else
  const Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
#endif
}

void writeFileAtomically(const fs::path& file, std::string_view bytes,
                         std::optional<fs::perms> mode) {
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
#ifdef _WIN32
  (void)mode;  // the folder's access list decides there
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
  // A rename that lasts may not bring bytes that did not: a power loss would leave zeros.
  syncFile(temp);
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
    // Keep the owner and permissions of the file being replaced; the owner
    // first, as a change of owner clears the set-id bits. Only root may give
    // a file away: anyone else's copy stays their own, as an editor's would.
    struct ::stat old = {};
    if (mode) {
      ::fchmod(fd.get(), static_cast<mode_t>(*mode));
    } else if (::stat(file.c_str(), &old) == 0) {
      if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0)
        (void)::fchown(fd.get(), static_cast<uid_t>(-1), old.st_gid);
      ::fchmod(fd.get(), old.st_mode & 07777);
    } else {
      ::fchmod(fd.get(), 0644);
    }
    if (::fsync(fd.get()) != 0) throwErrno("cannot flush", temp);
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

fs::file_time_type lastWriteTime(const fs::path& file, std::error_code& ec) {
  fs::file_time_type time = fs::last_write_time(file, ec);
#ifdef _WIN32
  // Whole seconds come from std::filesystem: add the fraction the system keeps.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!ec && GetFileAttributesExA(file.string().c_str(), GetFileExInfoStandard, &data)) {
    const auto ticks = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                       data.ftLastWriteTime.dwLowDateTime;  // 100 ns each
    time += std::chrono::duration_cast<fs::file_time_type::duration>(
        std::chrono::nanoseconds((ticks % 10'000'000) * 100));
  }
#endif
  return time;
}

void makeWritable(const fs::path& file) {
#ifdef _WIN32
  const std::string name = file.string();
  const DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      (attributes & FILE_ATTRIBUTE_READONLY) == 0)
    return;
  SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
  (void)file;  // the mode is the folder's business: a read-only file is kept as it is
#endif
}

std::string attributesText(const FileAttributes& attributes) {
  char text[48];
#ifdef _WIN32
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(attributes.mode));
#else
  std::snprintf(text, sizeof text, "%04o %u %u", static_cast<unsigned>(attributes.mode),
                static_cast<unsigned>(attributes.owner), static_cast<unsigned>(attributes.group));
#endif
  return text;
}

std::optional<FileAttributes> parseAttributes(std::string_view text) {
  const auto number = [&](std::uint32_t& out, int base) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    const bool ok = ec == std::errc() && end != text.data();
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return ok;
  };
  FileAttributes attributes;
#ifdef _WIN32
  if (!text.starts_with("0x")) return std::nullopt;
  text.remove_prefix(2);
  if (!number(attributes.mode, 16) || !text.empty()) return std::nullopt;
#else
  const auto blank = [&] {
    if (!text.starts_with(' ')) return false;
    text.remove_prefix(1);
    return true;
  };
  if (!number(attributes.mode, 8) || attributes.mode > 07777 || !blank() ||
      !number(attributes.owner, 10) || !blank() || !number(attributes.group, 10) || !text.empty())
    return std::nullopt;
#endif
  return attributes;
}

#ifdef _WIN32
namespace {

class NativeAppendOnlyFile final : public AppendOnlyFile {
 public:
  // Shared for writing too: undo appends to the journal of the run that
  // still holds it open.
  explicit NativeAppendOnlyFile(const fs::path& file)
      : file_(file),
        handle_(CreateFileA(file.string().c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (!handle_.valid()) fail("cannot open", GetLastError());
  }

  void append(std::string_view bytes) override {
    while (!bytes.empty()) {
      DWORD written = 0;
      const auto size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      if (!WriteFile(handle_.get(), bytes.data(), size, &written, nullptr))
        fail("cannot write", GetLastError());
      // A write that makes no progress would be tried without end.
      if (written == 0) fail("cannot write", ERROR_DISK_FULL);
      bytes.remove_prefix(written);
    }
  }
  void sync() override {
    if (!FlushFileBuffers(handle_.get())) fail("cannot flush", GetLastError());
  }
  [[nodiscard]] const fs::path& path() const override { return file_; }

 private:
  [[noreturn]] void fail(const char* what, DWORD error) const {
    throw std::system_error(static_cast<int>(error), std::system_category(),
                            std::string(what) + " " + file_.string());
  }
  fs::path file_;
  Handle handle_;
};

}  // namespace

std::unique_ptr<AppendOnlyFile> WritableFiles::openAppending(const fs::path& file, fs::perms) {
  return std::make_unique<NativeAppendOnlyFile>(file);
}

std::optional<FileAttributes> attributesOf(const fs::path& file) {
  const DWORD attributes = GetFileAttributesA(file.string().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return FileAttributes{attributes, 0, 0};
}

void applyAttributes(const fs::path& file, const FileAttributes& attributes) {
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD wanted = attributes.mode & kSettable;
  if (!SetFileAttributesA(file.string().c_str(), wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL))
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "cannot set the attributes of " + file.string());
}

void copyWithAttributes(const fs::path& from, const fs::path& to) {
  // CopyFileA carries the attributes over; the copy is flushed before it counts.
  if (!CopyFileA(from.string().c_str(), to.string().c_str(), TRUE))
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "cannot copy " + from.string() + " to " + to.string());
  // A read-only copy cannot be opened for the flush: it is made writable for it.
  const DWORD attributes = GetFileAttributesA(to.string().c_str());
  SetFileAttributesA(to.string().c_str(), FILE_ATTRIBUTE_NORMAL);
  bool flushed = false;
  {
    const Handle out(CreateFileA(to.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    flushed = out.valid() && FlushFileBuffers(out.get());
  }
  const auto error = static_cast<int>(GetLastError());
  if (flushed && SetFileAttributesA(to.string().c_str(), attributes)) return;
  DeleteFileA(to.string().c_str());
  throw std::system_error(error, std::system_category(), "cannot flush " + to.string());
}
#else
namespace {

class NativeAppendOnlyFile final : public AppendOnlyFile {
 public:
  NativeAppendOnlyFile(const fs::path& file, fs::perms mode)
      : file_(file),
        fd_(::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                   static_cast<mode_t>(mode))) {
    if (fd_.get() < 0) throwErrno("cannot open", file);
  }
  void append(std::string_view bytes) override { writeAll(fd_.get(), bytes, file_); }
  void sync() override {
    if (::fdatasync(fd_.get()) != 0) throwErrno("cannot flush", file_);
  }
  [[nodiscard]] const fs::path& path() const override { return file_; }

 private:
  fs::path file_;
  Descriptor fd_;
};

}  // namespace

std::unique_ptr<AppendOnlyFile> WritableFiles::openAppending(const fs::path& file, fs::perms mode) {
  return std::make_unique<NativeAppendOnlyFile>(file, mode);
}

std::optional<FileAttributes> attributesOf(const fs::path& file) {
  struct ::stat info = {};
  if (::lstat(file.c_str(), &info) != 0) return std::nullopt;
  return FileAttributes{static_cast<std::uint32_t>(info.st_mode & 07777), info.st_uid, info.st_gid};
}

namespace {

// As applyAttributes, on an open file.
void applyAttributesTo(int fd, const FileAttributes& attributes, const fs::path& file) {
  struct ::stat now = {};
  if (::fstat(fd, &now) != 0) throwErrno("cannot read the mode of", file);
  // The owner first: a change of owner clears the set-id bits. Only root
  // may give a file away; anyone else's copy stays their own.
  if (now.st_uid != attributes.owner || now.st_gid != attributes.group)
    (void)::fchown(fd, attributes.owner, attributes.group);
  const mode_t mode = (attributes.mode & 0777) | (attributes.mode & now.st_mode & 07000);
  if (::fchmod(fd, mode) != 0) throwErrno("cannot set the mode of", file);
}

}  // namespace

void applyAttributes(const fs::path& file, const FileAttributes& attributes) {
  const Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (fd.get() < 0) throwErrno("cannot open", file);
  applyAttributesTo(fd.get(), attributes, file);
}

void copyWithAttributes(const fs::path& from, const fs::path& to) {
  const auto attributes = attributesOf(from);
  const std::string bytes = readFileBytes(from);
  Descriptor fd(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (fd.get() < 0) throwErrno("cannot make", to);
  try {
    writeAll(fd.get(), bytes, to);
    if (attributes) applyAttributesTo(fd.get(), *attributes, to);
    if (::fdatasync(fd.get()) != 0) throwErrno("cannot flush", to);
  } catch (...) {
    ::unlink(to.c_str());
    throw;
  }
}
#endif

WritableFiles& WritableFiles::machine() {
  static WritableFiles files;
  return files;
}

WritableFiles& filesOf(const Environment& env) {
  return env.files != nullptr ? *env.files : WritableFiles::machine();
}

void makePrivate(const fs::path& folder) {
#ifndef _WIN32
  std::error_code ignored;
  fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
                  fs::perm_options::replace, ignored);
#else
  (void)folder;
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
  fd_ = ::_open(lockFile.string().c_str(), _O_RDWR | _O_CREAT | _O_NOINHERIT | _O_BINARY,
                _S_IREAD | _S_IWRITE);
  if (fd_ < 0) throwErrno("cannot open the lock file", lockFile);
  OVERLAPPED whole{};
  if (!LockFileEx(reinterpret_cast<HANDLE>(::_get_osfhandle(fd_)), LOCKFILE_EXCLUSIVE_LOCK, 0,
                  MAXDWORD, MAXDWORD, &whole)) {
    ::_close(fd_);
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "cannot lock " + lockFile.string());
  }
#endif
}

FileLock::~FileLock() {
#ifndef _WIN32
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
#else
  if (fd_ >= 0) ::_close(fd_);  // closing the handle releases the lock
#endif
}

}  // namespace qsi::platform
