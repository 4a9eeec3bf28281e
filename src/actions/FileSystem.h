#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qsi::actions {

// The machine's Java classes folder: the Windows folder's "java", ending in
// a separator.
[[nodiscard]] std::filesystem::path getJavaFolder();

// What a copy that failed tells the administrator, in a critical box and in
// the log: "Error while Copying the file to: " and the destination, then the
// reason when one is given.
[[nodiscard]] std::string copyErrorText(const std::filesystem::path& destination,
                                        std::string_view reason = {});

}  // namespace qsi::actions
