#include <system_error>
#include <vector>

#include "platform/FileReplacer.h"
#include "platform/win32/WindowsApi.h"

namespace qsi::platform {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(DWORD error, const std::string& what, const fs::path& file) {
  throw std::system_error(static_cast<int>(error), std::system_category(),
                          what + " " + file.string() + ": " + win32ErrorText(error));
}

// The temporary file beside the destination, deleted unless it was put in place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const fs::path& destination) {
    const fs::path folder =
        destination.has_parent_path() ? destination.parent_path() : fs::path(".");
    char name[MAX_PATH];
    if (GetTempFileNameA(folder.string().c_str(), "qsi", 0, name) == 0)
      fail(GetLastError(), "cannot create a temporary file beside", destination);
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

void copyContent(const fs::path& source, const fs::path& temp) {
  const Handle in(CreateFileA(source.string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.valid()) fail(GetLastError(), "cannot open", source);
  const Handle out(CreateFileA(temp.string().c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out.valid()) fail(GetLastError(), "cannot write", temp);
  std::vector<char> buffer(std::size_t{1} << 20);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
      fail(GetLastError(), "cannot read", source);
    if (got == 0) break;
    DWORD written = 0;
    if (!WriteFile(out.get(), buffer.data(), got, &written, nullptr) || written != got)
      fail(GetLastError(), "cannot write", temp);
  }
  if (!FlushFileBuffers(out.get())) fail(GetLastError(), "cannot flush", temp);
}

}  // namespace

void Win32FileReplacer::replaceWithCopy(const fs::path& source, const fs::path& destination) {
  const DWORD sourceAttributes = GetFileAttributesA(source.string().c_str());
  if (sourceAttributes == INVALID_FILE_ATTRIBUTES) fail(GetLastError(), "cannot open", source);
  if ((sourceAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    fail(ERROR_DIRECTORY, "not a file:", source);

  TemporaryFile temp(destination);
  copyContent(source, temp.path());
  const std::string from = temp.path().string();
  const std::string to = destination.string();
  const DWORD oldAttributes = GetFileAttributesA(to.c_str());
  const bool existed = oldAttributes != INVALID_FILE_ATTRIBUTES;
  if (existed) {
    if (ReplaceFileA(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr)) {
      temp.placed();
      // Windows carries the attributes over itself; Wine does not.
      SetFileAttributesA(to.c_str(), oldAttributes);
      return;
    }
    const DWORD error = GetLastError();
    // Without a backup name, this failure has taken the old file away:
    // the new one must go in its place now.
    if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT) fail(error, "cannot replace", destination);
  }
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    fail(GetLastError(), "cannot replace", destination);
  temp.placed();
  if (!existed) SetFileAttributesA(to.c_str(), sourceAttributes);
}

void Win32FileReplacer::copyToNew(const fs::path& source, const fs::path& destination) {
  const DWORD sourceAttributes = GetFileAttributesA(source.string().c_str());
  if (sourceAttributes == INVALID_FILE_ATTRIBUTES) fail(GetLastError(), "cannot open", source);
  if ((sourceAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    fail(ERROR_DIRECTORY, "not a file:", source);
  TemporaryFile temp(destination);
  copyContent(source, temp.path());
  // Without MOVEFILE_REPLACE_EXISTING an existing file is never replaced.
  if (!MoveFileExA(temp.path().string().c_str(), destination.string().c_str(),
                   MOVEFILE_WRITE_THROUGH))
    fail(GetLastError(), "cannot make", destination);
  temp.placed();
}

}  // namespace qsi::platform
