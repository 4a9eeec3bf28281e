#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qsi::platform {

// Reads values of INI files as the platform's profile reader does: section
// and key names without regard to case, blanks around names and values
// trimmed, one pair of surrounding quotes removed, ";" comment lines, the
// first match wins, a value ends at a NUL, at most 319 characters returned. Parsed files are kept
// by path, size and modification time, so reading an unchanged file again costs no parse.
class ProfileReader {
 public:
  static constexpr std::size_t kMaxValueLength = 319;

  // The value of `key` in `section` of `file`; the empty text when the file,
  // the section or the key is missing or the file cannot be read.
  [[nodiscard]] std::string readIniValue(const std::filesystem::path& file,
                                         std::string_view section, std::string_view key);

  // Parses INI text into "section\nkey" (lower case) -> value; first match wins.
  using Parsed = std::unordered_map<std::string, std::string>;
  static Parsed parse(std::string_view text);

 private:
  struct Entry {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time{};
    Parsed values;
  };
  std::unordered_map<std::string, Entry> cache_;
};

}  // namespace qsi::platform
