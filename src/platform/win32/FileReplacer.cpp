#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "platform/Crc16.h"
#include "platform/Crc32.h"
#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/FileReplacer.h"
#include "platform/Ownership.h"
#include "platform/win32/WindowsApi.h"

namespace qsi::platform {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(DWORD error, const std::string& what, const fs::path& file) {
  // The system's text is the error code's: what() ends with it once.
  throw std::system_error(static_cast<int>(error), std::system_category(),
                          what + " " + file.string());
}

// A temporary file in a folder, deleted unless it was put in place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const fs::path& folder) {
    char name[MAX_PATH];
    if (GetTempFileNameA(folder.string().c_str(), "qsi", 0, name) == 0)
      fail(GetLastError(), "cannot create a temporary file in", folder);
    path_ = name;
  }
  ~TemporaryFile() {
    if (!path_.empty()) DeleteFileA(path_.string().c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  [[nodiscard]] const fs::path& path() const { return path_; }
  void placed() { path_.clear(); }

 private:
  fs::path path_;
};

// Copies `source` into `temp`, flushed, taking its size and CRC on the way.
void copyContent(const fs::path& source, const fs::path& temp, Placement& placement) {
  const Handle in(CreateFileA(source.string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.valid()) fail(GetLastError(), "cannot open", source);
  if (GetFileType(in.get()) != FILE_TYPE_DISK) fail(ERROR_INVALID_FUNCTION, "not a file:", source);
  const Handle out(CreateFileA(temp.string().c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out.valid()) fail(GetLastError(), "cannot write", temp);
  std::vector<char> buffer(std::size_t{1} << 20);
  Crc16 crc;
  std::uint32_t strong = 0;
  std::uint64_t size = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
      fail(GetLastError(), "cannot read", source);
    if (got == 0) break;
    crc.update(std::string_view(buffer.data(), got));
    strong = crc32c(std::string_view(buffer.data(), got), strong);
    size += got;
    DWORD written = 0;
    if (!WriteFile(out.get(), buffer.data(), got, &written, nullptr) || written != got)
      fail(GetLastError(), "cannot write", temp);
  }
  if (!FlushFileBuffers(out.get())) fail(GetLastError(), "cannot flush", temp);
  placement.size = size;
  placement.crc = crc.value();
  placement.crc32c = strong;
}

// The old file as a second name at its backup; where no link reaches it
// (another volume), a copy beside it in a hidden folder.
void keep(const Placement& placement) {
  const std::string from = placement.destination.string();
  if (CreateHardLinkA(placement.backup.string().c_str(), from.c_str(), nullptr)) return;
  if (placement.keptBeside.empty()) fail(GetLastError(), "cannot keep", placement.destination);
  const fs::path folder = placement.keptBeside.parent_path();
  // The hidden folders lie in the site, where others may have put a link.
  makeOwnFolder(folder.parent_path());
  makeOwnFolder(folder);
  SetFileAttributesA(folder.parent_path().string().c_str(), FILE_ATTRIBUTE_HIDDEN);
  copyWithAttributes(placement.destination, placement.keptBeside);
}

// Puts the staged file in place; false when it lies on another volume than
// its destination, which a rename cannot reach.
bool put(const TemporaryFile& temp, Placement& placement, DWORD sourceAttributes) {
  const std::string from = temp.path().string();
  const std::string to = placement.destination.string();
  if (placement.asNew) {
    // Without MOVEFILE_REPLACE_EXISTING an existing file is never replaced.
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
    if (GetLastError() == ERROR_NOT_SAME_DEVICE) return false;
    fail(GetLastError(), "cannot make", placement.destination);
  }
  DWORD oldAttributes = GetFileAttributesA(to.c_str());
  const bool existed = oldAttributes != INVALID_FILE_ATTRIBUTES;
  if (existed && (oldAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    // A read-only file cannot be replaced: it is made normal first, and
    // loses its hidden and system bits with the read-only one.
    if (!SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL))
      fail(GetLastError(), "cannot make writable", placement.destination);
    oldAttributes = FILE_ATTRIBUTE_NORMAL;
  }
  if (existed) {
    const std::string backup = placement.backup.string();
    // The old file goes to its backup name in the same call; where that
    // cannot be (another volume), it is kept first and replaced after.
    bool replaced =
        ReplaceFileA(to.c_str(), from.c_str(), backup.empty() ? nullptr : backup.c_str(),
                     REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
    if (!replaced && !backup.empty() && GetFileAttributesA(to.c_str()) != INVALID_FILE_ATTRIBUTES &&
        GetFileAttributesA(backup.c_str()) == INVALID_FILE_ATTRIBUTES) {
      keep(placement);
      replaced = ReplaceFileA(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                              nullptr, nullptr) != 0;
    }
    if (replaced) {
      // Windows carries the attributes over itself; Wine does not.
      SetFileAttributesA(to.c_str(), oldAttributes);
      return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_NOT_SAME_DEVICE) return false;
    // Without a backup name, this failure has taken the old file away:
    // the new one must go in its place now.
    if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT)
      fail(error, "cannot replace", placement.destination);
  }
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    if (GetLastError() == ERROR_NOT_SAME_DEVICE) return false;
    fail(GetLastError(), "cannot replace", placement.destination);
  }
  if (!existed) SetFileAttributesA(to.c_str(), sourceAttributes);
  return true;
}

void placeOne(Placement& placement, const fs::path& staging) {
  const DWORD sourceAttributes = GetFileAttributesA(placement.source.string().c_str());
  if (sourceAttributes == INVALID_FILE_ATTRIBUTES)
    fail(GetLastError(), "cannot open", placement.source);
  if ((sourceAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    fail(ERROR_DIRECTORY, "not a file:", placement.source);
  TemporaryFile temp(staging);
  copyContent(placement.source, temp.path(), placement);
  if (put(temp, placement, sourceAttributes)) {
    temp.placed();
    return;
  }
  // Another volume: staged again beside the destination.
  const fs::path folder =
      placement.destination.has_parent_path() ? placement.destination.parent_path() : fs::path(".");
  TemporaryFile beside(folder);
  copyContent(placement.source, beside.path(), placement);
  if (!put(beside, placement, sourceAttributes))
    fail(ERROR_NOT_SAME_DEVICE, "cannot replace", placement.destination);
  beside.placed();
}

}  // namespace

void Win32FileReplacer::placeAll(std::span<Placement> batch, const fs::path& staging,
                                 AppendOnlyFile* record) {
  // Each file is flushed on its own here: the record goes first, and without
  // it nothing of the batch may change.
  std::string unflushed;
  try {
    if (record != nullptr) record->sync();
  } catch (const std::exception& e) {
    unflushed = e.what();
  }
  // Saved copies first: each exists before anything of the batch is replaced.
  for (const bool asNew : {true, false})
    for (Placement& placement : batch) {
      if (placement.asNew != asNew) continue;
      placement.error = unflushed;
      if (!unflushed.empty()) continue;
      if (placement.after && !batch[*placement.after].placed()) {
        placement.error = "not replaced: " + batch[*placement.after].error;
        continue;
      }
      try {
        placeOne(placement, staging);
      } catch (const std::exception& e) {
        placement.error = reasonOf(e);
      }
    }
}

void Win32FileReplacer::putBack(const fs::path& kept, const fs::path& destination) {
  // A read-only file cannot be replaced; the caller gives it its attributes again.
  makeWritable(destination);
  // Across volumes MoveFileExA copies, flushes and then removes the kept file.
  if (!MoveFileExA(kept.string().c_str(), destination.string().c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
    fail(GetLastError(), "cannot put back", destination);
}

}  // namespace qsi::platform
