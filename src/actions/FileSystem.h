#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Environment.h"
#include "platform/FileReplacer.h"

namespace qsi::actions {

// The text of `path` before its last separator ("/a/b/f.dll" -> "/a/b",
// "/a/b/" -> "/a/b"); the root for a file directly in it. Throws Failure
// when the path has no separator.
[[nodiscard]] std::filesystem::path getParentFolder(const std::filesystem::path& path);

// The parts of a path split at every separator, empty parts kept.
[[nodiscard]] std::vector<std::string> splitPath(std::string_view path);

// Creates every missing folder along `folder`, one level at a time, from the
// first part on (the root or drive is never tested or created). An empty
// path shows "Empty Path" and creates nothing. Throws when a folder cannot be
// created.
void createFolderPath(const platform::Environment& env, const std::filesystem::path& folder);

// How FileCopy puts its copy in place: over what is there, or only where
// nothing is (a saved copy is never overwritten).
enum class CopyMode { Replace, NewOnly };

// Puts a copy of `source` at `destination`: creates the destination's
// missing folders, makes a read-only destination writable and replaces it
// without ever leaving it torn. A folder that cannot be made, or a copy that
// fails, shows the critical box "Error while Copying the file to: " and the
// destination, then throws Failure 210 from "FileCopy" with that text; the
// destination is then unchanged. An empty source copies nothing.
void FileCopy(const platform::Environment& env, platform::FileReplacer& files,
              const std::filesystem::path& source, const std::filesystem::path& destination,
              CopyMode mode = CopyMode::Replace);
void FileCopy(const platform::Environment& env, const std::filesystem::path& source,
              const std::filesystem::path& destination);

// The machine's Java classes folder: the Windows folder's "java", ending in
// a separator.
[[nodiscard]] std::filesystem::path getJavaFolder();

// Copies the folder `source` with everything in it to `target` (made when
// missing), replacing existing files. Throws on the first failure.
void copyFolder(platform::FileReplacer& files, const std::filesystem::path& source,
                const std::filesystem::path& target);

}  // namespace qsi::actions
