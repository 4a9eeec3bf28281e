#pragma once

#include <filesystem>
#include <string>

namespace qsi::actions {

// The machine's Java classes folder: the Windows folder's "java", ending in
// a separator.
[[nodiscard]] std::filesystem::path getJavaFolder();

// What a copy that failed tells the administrator, in a critical box and in
// the log: "Error while Copying the file to: " and the destination.
[[nodiscard]] std::string copyErrorText(const std::filesystem::path& destination);

}  // namespace qsi::actions
