#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace qsi::platform {

// A password source that was refused: what is wrong, naming the source.
class SecretRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Overwrites the bytes of `text` so that no optimizer skips it, then
// empties it: a secret must not outlive its use in freed memory.
void wipe(std::string& text) noexcept;

// The longest password read, in bytes: no database takes a longer one.
inline constexpr std::size_t kMaxSecretLength = 4096;

// The first line of the open descriptor `fd`, without its line break. Reads
// byte by byte, so that nothing after the line is taken from a shared pipe.
// Throws SecretRefused when nothing can be read, the line is empty, longer
// than kMaxSecretLength, or has not ended within kPasswordTimeLimit (on
// Linux; on Windows a read from a pipe or console cannot be given a
// deadline, and the wait is bounded by the writer alone). What was read is
// wiped before it throws.
[[nodiscard]] std::string readSecretLine(int fd, const std::string& source);

// The first line of the file `path`, which must be a regular file (opened
// without following a link), owned by the user running the program or by
// root, and readable or writable by no one else. Throws SecretRefused naming
// what is wrong before anything is read.
[[nodiscard]] std::string readSecretFile(const std::filesystem::path& path);

}  // namespace qsi::platform
