#include "actions/FileSystem.h"

#include <system_error>

#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace qsi::actions {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCopyError = "Error while Copying the file to: ";

bool isSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

bool folderExists(const fs::path& folder) {
  std::error_code ec;
  return fs::is_directory(folder, ec);
}

[[noreturn]] void failCopy(const platform::Environment& env, const fs::path& destination,
                           const std::exception& cause) {
  const std::string text = std::string(kCopyError) + platform::displayPath(destination);
  env.ui.messageBox({text, platform::Buttons::OK, platform::Icon::Critical});
  platform::raiseReplacing(cause, platform::kFileCopyFailure, "FileCopy", text);
}

}  // namespace

fs::path getParentFolder(const fs::path& path) {
  const std::string text = path.string();
  std::size_t last = text.size();
  while (last > 0 && !isSeparator(text[last - 1])) --last;
  if (last == 0)
    throw platform::Failure(5, "getParentFolder", "Invalid procedure call or argument");
  return last == 1 ? fs::path(text.substr(0, 1)) : fs::path(text.substr(0, last - 1));
}

std::vector<std::string> splitPath(std::string_view path) {
  std::vector<std::string> parts(1);
  for (const char c : path) {
    if (isSeparator(c))
      parts.emplace_back();
    else
      parts.back().push_back(c);
  }
  return parts;
}

void createFolderPath(const platform::Environment& env, const fs::path& folder) {
  if (folder.empty()) {
    env.ui.messageBox({"Empty Path"});
    return;
  }
  const std::vector<std::string> parts = splitPath(folder.string());
  std::string current = parts.front();
  for (std::size_t i = 1; i < parts.size(); ++i) {
    current.append(1, static_cast<char>(fs::path::preferred_separator)).append(parts[i]);
    if (!folderExists(current)) fs::create_directory(current);
  }
}

void FileCopy(const platform::Environment& env, platform::FileReplacer& files,
              const fs::path& source, const fs::path& destination, CopyMode mode) {
  try {
    const fs::path folder = getParentFolder(destination);
    if (!folderExists(folder)) createFolderPath(env, folder);
  } catch (const std::exception& e) {
    failCopy(env, destination, e);
  }
  if (source.empty()) return;
  // A copy that fails is reported like a folder that cannot be made, so the
  // administrator learns that the file was not installed.
  try {
    if (mode == CopyMode::NewOnly) {
      files.copyToNew(source, destination);
    } else {
      platform::makeWritable(destination);
      files.replaceWithCopy(source, destination);
    }
  } catch (const std::exception& e) {
    failCopy(env, destination, e);
  }
}

void FileCopy(const platform::Environment& env, const fs::path& source,
              const fs::path& destination) {
  platform::NativeFileReplacer files;
  FileCopy(env, files, source, destination);
}

fs::path getJavaFolder() {
  return platform::windowsFolder() / "java" / "";
}

void copyFolder(platform::FileReplacer& files, const fs::path& source, const fs::path& target) {
  fs::create_directories(target);
  for (const fs::directory_entry& entry : fs::directory_iterator(source)) {
    const std::string name = entry.path().filename().string();
    if (const auto problem = platform::nameProblem(name))
      throw platform::Failure(platform::kFileCopyFailure, "copyFolder",
                              platform::escapeControls(name) + ": " + *problem);
    const fs::path to = target / name;
    const fs::file_type type = entry.symlink_status().type();
    if (type == fs::file_type::directory) {
      copyFolder(files, entry.path(), to);
    } else if (type != fs::file_type::regular) {
      throw platform::Failure(platform::kFileCopyFailure, "copyFolder",
                              platform::displayPath(entry.path()) + " is not a regular file");
    } else {
      platform::makeWritable(to);
      files.replaceWithCopy(entry.path(), to);
    }
  }
}

}  // namespace qsi::actions
