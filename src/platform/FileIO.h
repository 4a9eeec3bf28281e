#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace qsi::platform {

// The whole file as bytes. Throws std::system_error naming the file when it
// cannot be opened or read.
[[nodiscard]] std::string readFileBytes(const std::filesystem::path& file);

// Replaces `file` by `bytes` so that it holds the old or the new content at
// any instant: a temporary file beside it is written, flushed to disk and
// renamed over it. Throws std::system_error on failure; the old file is then
// unchanged and no temporary file is left.
void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes);

// The file's last write time to the precision the system keeps (on Windows,
// std::filesystem alone keeps whole seconds). Sets `ec` when it cannot be read.
[[nodiscard]] std::filesystem::file_time_type lastWriteTime(const std::filesystem::path& file,
                                                            std::error_code& ec);

// Flushes a file's data to disk (no-op where the platform lacks it).
void syncFile(const std::filesystem::path& file);

// Makes an existing read-only file writable before it is replaced. On
// Windows its attributes become normal, so hidden, system and archive go
// with the read-only bit; elsewhere the owner gets write permission back and
// other permissions stay. A file that is writable, missing or cannot be
// changed is left as it is.
void makeWritable(const std::filesystem::path& file);

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
