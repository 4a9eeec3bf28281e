#pragma once

#include <cstddef>
#include <filesystem>

namespace qsi::platform {

// Puts copies of files in place without ever leaving a torn file.
class FileReplacer {
 public:
  virtual ~FileReplacer() = default;
  // Makes `destination` (its folder exists) a copy of `source`. At every
  // instant, even if the process is killed, `destination` holds its old
  // content or the whole new one. Throws std::system_error naming the file;
  // `destination` is then unchanged and no temporary file is left.
  virtual void replaceWithCopy(const std::filesystem::path& source,
                               const std::filesystem::path& destination) = 0;
  // Makes the new file `destination` (its folder exists) a copy of
  // `source`, whole or not at all. Throws std::system_error naming the file,
  // leaving everything as it was, when `destination` exists already: a saved
  // copy is never overwritten.
  virtual void copyToNew(const std::filesystem::path& source,
                         const std::filesystem::path& destination) = 0;
};

#ifndef _WIN32
// Copies into a temporary file beside the destination (".qsi-XXXXXX", short
// enough for any name the file system takes), flushes it and renames it over
// the destination. The new file keeps the
// permissions and owner of the file it replaces; a new file gets 0644, or
// 0755 when the source is executable by its owner.
class PosixFileReplacer : public FileReplacer {
 public:
  void replaceWithCopy(const std::filesystem::path& source,
                       const std::filesystem::path& destination) override;
  void copyToNew(const std::filesystem::path& source,
                 const std::filesystem::path& destination) override;

 protected:
  // Copies up to `count` bytes from `in` to `out` at their file offsets and
  // returns how many; 0 at the end of `in`. Throws std::system_error naming
  // `file` (the temporary file). Uses the kernel's copy call where it can.
  // Tests override it to fail as a full disk does.
  virtual std::size_t copyChunk(int in, int out, std::size_t count,
                                const std::filesystem::path& file);

 private:
  void copyAndPlace(const std::filesystem::path& source, const std::filesystem::path& destination,
                    bool replace);
};
using NativeFileReplacer = PosixFileReplacer;
#else
// Copies into a temporary file beside the destination, flushes it and puts
// it in place with ReplaceFileA (the destination keeps its attributes and
// security) or, for a new file, MoveFileExA with MOVEFILE_WRITE_THROUGH (it
// gets the source's attributes).
class Win32FileReplacer : public FileReplacer {
 public:
  void replaceWithCopy(const std::filesystem::path& source,
                       const std::filesystem::path& destination) override;
  void copyToNew(const std::filesystem::path& source,
                 const std::filesystem::path& destination) override;
};
using NativeFileReplacer = Win32FileReplacer;
#endif

}  // namespace qsi::platform
