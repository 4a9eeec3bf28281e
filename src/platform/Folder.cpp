#include "platform/Folder.h"

#include <cerrno>
#include <memory>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include "platform/win32/WindowsApi.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace qsi::platform {

namespace fs = std::filesystem;

#ifdef _WIN32

std::vector<FolderEntry> listFolder(const fs::path& folder) {
  WIN32_FIND_DATAA found{};
  const std::string pattern = (folder / "*").string();
  const HANDLE search = FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "cannot list " + folder.string());
  std::vector<FolderEntry> entries;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const DWORD attributes = found.dwFileAttributes;
    // A reparse point (a link or a junction) is never followed.
    const EntryKind kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? EntryKind::Link
                           : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? EntryKind::Folder
                                                                            : EntryKind::File;
    entries.push_back({name, kind});
  } while (FindNextFileA(search, &found));
  const DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES)
    throw std::system_error(static_cast<int>(error), std::system_category(),
                            "cannot list " + folder.string());
  return entries;
}

#else

namespace {

EntryKind kindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::File;
  if (S_ISDIR(mode)) return EntryKind::Folder;
  if (S_ISLNK(mode)) return EntryKind::Link;
  return EntryKind::Other;
}

EntryKind kindOfType(unsigned char type) {
  switch (type) {
    case DT_REG:
      return EntryKind::File;
    case DT_DIR:
      return EntryKind::Folder;
    case DT_LNK:
      return EntryKind::Link;
    default:
      return EntryKind::Other;
  }
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

std::vector<FolderEntry> listFolder(const fs::path& folder) {
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir)
    throw std::system_error(errno, std::generic_category(), "cannot list " + folder.string());
  std::vector<FolderEntry> entries;
  while (true) {
    errno = 0;
    const dirent* item = ::readdir(dir.get());
    if (item == nullptr) break;
    const std::string_view name(item->d_name);
    if (name == "." || name == "..") continue;
    EntryKind kind = kindOfType(item->d_type);
    if (item->d_type == DT_UNKNOWN) {
      struct stat status {};
      if (::fstatat(::dirfd(dir.get()), item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::system_error(errno, std::generic_category(),
                                "cannot read " + (folder / item->d_name).string());
      kind = kindOfMode(status.st_mode);
    }
    entries.push_back({std::string(name), kind});
  }
  if (errno != 0)
    throw std::system_error(errno, std::generic_category(), "cannot list " + folder.string());
  return entries;
}

#endif

}  // namespace qsi::platform
