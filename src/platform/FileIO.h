#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace qsi::platform {

// A regular file open for reading, closed when the object goes. Opening never
// blocks: a named pipe, a device or a folder is refused, not waited for.
class InputFile {
 public:
  // Throws std::system_error naming the file when it cannot be opened or is
  // no regular file.
  explicit InputFile(const std::filesystem::path& file);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Reads up to `size` bytes into `buffer`; 0 at the end of the file. Throws
  // std::system_error naming the file.
  [[nodiscard]] std::size_t read(char* buffer, std::size_t size);
  // The size when the file was opened.
  [[nodiscard]] std::uintmax_t size() const { return size_; }
#ifndef _WIN32
  [[nodiscard]] int descriptor() const {
    return fd_;
  }
#endif

 private:
  std::filesystem::path file_;
  std::uintmax_t size_ = 0;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// Why `file` is no regular file that can be read: the system's error for it,
// or for what lies there instead (missing, a folder, another kind); no error
// when it is one.
[[nodiscard]] std::error_code regularFileProblem(const std::filesystem::path& file);

// The whole file as bytes. Throws std::system_error naming the file when it
// cannot be opened or read, or is no regular file.
[[nodiscard]] std::string readFileBytes(const std::filesystem::path& file);

// Replaces `file` by `bytes` so that it holds the old or the new content at
// any instant: a temporary file beside it is written, flushed to disk and
// renamed over it. Throws std::system_error on failure; the old file is then
// unchanged and no temporary file is left. The new file keeps the owner and
// mode of the one it replaces, or gets exactly `mode` when one is given (a
// private result, whatever lay there before); the temporary file is made
// anew (never through a link) and private until then.
void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                         std::optional<std::filesystem::perms> mode = std::nullopt);

// The file's last write time to the precision the system keeps (on Windows,
// std::filesystem alone keeps whole seconds). Sets `ec` when it cannot be read.
[[nodiscard]] std::filesystem::file_time_type lastWriteTime(const std::filesystem::path& file,
                                                            std::error_code& ec);

// Flushes a file's data to disk (no-op where the platform lacks it).
void syncFile(const std::filesystem::path& file);

// Makes an existing read-only file writable before it is replaced. On
// Windows its attributes become normal, so hidden, system and archive go
// with the read-only bit; elsewhere nothing changes, as a rename replaces a
// file whatever its mode. A file that is writable, missing or cannot be
// changed is left as it is.
void makeWritable(const std::filesystem::path& file);

// A file that only grows: a log, the journal of a run. Closed when the
// object goes.
class AppendOnlyFile {
 public:
  virtual ~AppendOnlyFile() = default;
  // Writes `bytes` at the end of the file: all of them, or it throws
  // std::system_error naming the file with the system's reason (a full disk
  // among them); a write that makes no progress fails as a full disk.
  virtual void append(std::string_view bytes) = 0;
  // Makes every append so far durable. Throws as append() does.
  virtual void sync() = 0;
  [[nodiscard]] virtual const std::filesystem::path& path() const = 0;
};

// Opens the files that only grow. The installer's logs and journals are
// written through it, so that a test can make them fail as a full disk does.
class WritableFiles {
 public:
  virtual ~WritableFiles() = default;
  // `file` open for appending, made with `mode` when it is missing (the mode
  // is the folder's on Windows). Throws std::system_error naming the file.
  [[nodiscard]] virtual std::unique_ptr<AppendOnlyFile> openAppending(
      const std::filesystem::path& file,
      std::filesystem::perms mode = std::filesystem::perms::owner_read |
                                    std::filesystem::perms::owner_write);
  // The machine's own files; they keep no state.
  [[nodiscard]] static WritableFiles& machine();
};

// The mode and owner of a file, on Windows its attributes (read-only,
// hidden, system, archive), so that a file put back gets them again.
struct FileAttributes {
  std::uint32_t mode = 0;   // permission bits; on Windows the attribute bits
  std::uint32_t owner = 0;  // user and group; 0 on Windows
  std::uint32_t group = 0;
  bool operator==(const FileAttributes&) const = default;
};

// The attributes of `file` itself (a link is not followed); nullopt when
// nothing is there.
[[nodiscard]] std::optional<FileAttributes> attributesOf(const std::filesystem::path& file);

// Gives `file` the mode (on Windows the attributes) of `attributes`, and
// their owner where the process may give files away. A set-id bit is never
// added, only kept or taken away: the attributes may come from a journal
// that others can write. Throws std::system_error naming the file.
void applyAttributes(const std::filesystem::path& file, const FileAttributes& attributes);

// "0444 1000 1000": the mode in octal, the owner and the group; on Windows
// "0x21", the attribute bits.
[[nodiscard]] std::string attributesText(const FileAttributes& attributes);
// The attributes of a text of that form; nullopt for any other text.
[[nodiscard]] std::optional<FileAttributes> parseAttributes(std::string_view text);

// Copies the existing file `from` to the new file `to` with its mode and
// owner (its attributes on Windows; the owner where the process may give
// files away), flushed to disk. Throws std::system_error naming the file;
// `to` is then not there.
void copyWithAttributes(const std::filesystem::path& from, const std::filesystem::path& to);

// Makes a folder of the run readable by its owner and group only (0750),
// since logs and saved files may hold passwords. Nothing on Windows, where a
// folder takes the permissions of the folder it is made in.
void makePrivate(const std::filesystem::path& folder);

// An advisory lock on a file, held while the object lives.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& lockFile);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace qsi::platform
