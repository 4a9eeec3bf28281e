#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

namespace qsi::platform {

class AppendOnlyFile;

// One file that a batch puts in place.
struct Placement {
  std::filesystem::path source;
  std::filesystem::path destination;
  // Where the file that `destination` holds is kept before it is replaced
  // (a second name for it); empty: it is not kept.
  std::filesystem::path backup;
  // Where it is kept instead when `backup` lies on another file system than
  // `destination`: a copy with its mode and owner, on the destination's own
  // file system (its folders are made); empty: nowhere else.
  std::filesystem::path keptBeside;
  // A saved copy: placed only where nothing is, and before anything of the
  // batch is replaced.
  bool asNew = false;
  // Placed only when the placement at this index of the same batch (a saved
  // copy) was: an index, so that the batch may move.
  std::optional<std::size_t> after;

  // Set by the batch: the size, CRC-16 and CRC-32C of what was put in
  // place, or why nothing was, the system's reason (the destination is then
  // as it was).
  std::uint64_t size = 0;
  std::uint16_t crc = 0;
  std::uint32_t crc32c = 0;
  std::string error;
  [[nodiscard]] bool placed() const { return error.empty(); }
};

// Puts copies of files in place without ever leaving a torn file.
class FileReplacer {
 public:
  virtual ~FileReplacer() = default;

  // Puts a batch of files in place (their folders exist), so that whenever
  // the process dies each destination holds its old content or the whole
  // new one, each saved copy exists before anything is replaced, and each
  // kept old file exists before its destination changes:
  //  1. each source is copied into a temporary file in `staging` (beside its
  //     destination when that lies on another file system), its size and
  //     CRC taken on the way;
  //  2. the saved copies are placed and the old files kept at their backups
  //     (at `keptBeside` where no link reaches the backup);
  //  3. all of it is flushed to disk at once, and with it `record` when
  //     given: the file whose appended lines tell of the batch (the journal
  //     of the run), written but not yet flushed;
  //  4. each temporary file is renamed over its destination, in batch order;
  //  5. the destinations' folders are flushed.
  // A placement that fails gets its error and changes nothing; the others go
  // on. A flush that fails fails what it was to make durable: the whole
  // batch in step 3 (nothing is renamed; its saved copies are removed), the
  // files renamed into the folder in step 5 (they are in place, but not for
  // sure after a power cut, and count as not placed). A new file gets
  // 0644, or 0755 when its source is executable by its owner, never a set-id
  // bit; a replaced file keeps its mode and owner.
  virtual void placeAll(std::span<Placement> batch, const std::filesystem::path& staging,
                        AppendOnlyFile* record) = 0;

  // One file put in place over what is there, staged beside it. Throws
  // std::runtime_error naming the file, with the system's reason; the
  // destination is then unchanged.
  void replaceWithCopy(const std::filesystem::path& source,
                       const std::filesystem::path& destination);
  // One new file, never over an existing one (a saved copy). Throws as above.
  void copyToNew(const std::filesystem::path& source, const std::filesystem::path& destination);

  // Puts the kept file `kept` back at `destination`, over what is there: it
  // is renamed, or where a rename cannot reach (another file system) copied
  // beside the destination with its mode and owner, flushed and renamed over
  // it, and then removed. The destination's folder is not flushed: the
  // caller flushes each folder once, when all of it is put back. Throws
  // std::system_error naming the file; the destination holds then what it
  // held.
  virtual void putBack(const std::filesystem::path& kept,
                       const std::filesystem::path& destination) = 0;
};

// The folder beside `file`, hidden, in which the run `run` keeps the old
// files of that folder that its journal's file system cannot link.
[[nodiscard]] std::filesystem::path keptBesideFolder(const std::filesystem::path& file,
                                                     std::string_view run);

// Whether a file's name is that of a temporary file a batch makes (which a
// killed run may leave behind).
[[nodiscard]] bool isTemporaryFileName(std::string_view name);

#ifndef _WIN32
// Temporary files are named ".qsi-XXXXXX", short enough beside any name the
// file system takes; the flush of step 3 is one syncfs for the staging
// folder's file system (the journal's too, when it lies there) and one
// fdatasync for each file on another.
class PosixFileReplacer : public FileReplacer {
 public:
  void placeAll(std::span<Placement> batch, const std::filesystem::path& staging,
                AppendOnlyFile* record) override;
  void putBack(const std::filesystem::path& kept,
               const std::filesystem::path& destination) override;

  enum class Flush { FileSystem, FileData, Folder };  // syncfs, fdatasync, fsync

 protected:
  // link() and rename(): 0, or -1 with errno set. Tests override them to
  // fail as across file systems.
  virtual int link(const std::filesystem::path& from, const std::filesystem::path& to);
  virtual int rename(const std::filesystem::path& from, const std::filesystem::path& to);
  // Writes `bytes` to `out` at its offset. Throws std::system_error naming
  // `file` (the temporary file). Tests override it to fail as a full disk.
  virtual void writeChunk(int out, std::string_view bytes, const std::filesystem::path& file);
  // Flushes the open `fd` to disk as `how` says: 0, or -1 with errno set.
  // Tests override it to fail as a failing disk does.
  virtual int flush(int fd, Flush how);

 private:
  // Throws std::system_error naming `what`; a folder on a file system that
  // cannot flush folders is no failure.
  void flushOrFail(int fd, Flush how, const std::filesystem::path& what);
  void flushFolder(const std::filesystem::path& folder, Flush how);
  void keep(const Placement& placement, std::set<std::filesystem::path>& folders);
};
using NativeFileReplacer = PosixFileReplacer;
#else
// Each temporary file is flushed as it is written; an old file is kept at
// its backup by ReplaceFileA itself, a new one put in place by MoveFileExA
// with MOVEFILE_WRITE_THROUGH. ReplaceFileA keeps the destination's
// attributes and security.
class Win32FileReplacer : public FileReplacer {
 public:
  void placeAll(std::span<Placement> batch, const std::filesystem::path& staging,
                AppendOnlyFile* record) override;
  void putBack(const std::filesystem::path& kept,
               const std::filesystem::path& destination) override;
};
using NativeFileReplacer = Win32FileReplacer;
#endif

}  // namespace qsi::platform
