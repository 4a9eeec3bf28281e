#pragma once

#include <string>
#include <string_view>
#include <vector>

// Small text helpers on ANSI (byte) strings; case folding is ASCII only, as
// the names the installer compares are ASCII.
namespace qsi::platform {

// ASCII letters only: names from outside are compared byte for byte otherwise.
[[nodiscard]] constexpr char lowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
[[nodiscard]] std::string toLower(std::string_view text);
[[nodiscard]] std::string toUpper(std::string_view text);
[[nodiscard]] bool iequals(std::string_view a, std::string_view b);
[[nodiscard]] bool ilessThan(std::string_view a, std::string_view b);
// Whether the registry key path `key` is `base` or lies below it, in any case.
[[nodiscard]] bool isKeyOrBelow(std::string_view key, std::string_view base);
// Blanks and tabs removed at both ends.
[[nodiscard]] std::string_view trim(std::string_view text);
[[nodiscard]] std::string replaceAll(std::string_view text, std::string_view from,
                                     std::string_view to);
// Splits at every separator; empty pieces are kept, so "a..b" gives a, "", b.
[[nodiscard]] std::vector<std::string> split(std::string_view text, char separator);
[[nodiscard]] bool contains(std::string_view text, std::string_view part);

// Which line ends survive escapeControls.
enum class LineEnds { Escaped, Kept };

// `text` with every control character written as \xHH (ESC as \x1B), so
// that outside text can neither forge a line nor drive a terminal. With
// LineEnds::Kept, tabs, line feeds and CR LF pairs stay as they are: the
// line ends of a multi-line text (a script, a database's message).
[[nodiscard]] std::string escapeControls(std::string_view text,
                                         LineEnds lineEnds = LineEnds::Escaped);

// Whether `text` holds a control character (below 0x20, or 0x7F).
[[nodiscard]] bool hasControlCharacter(std::string_view text);

inline constexpr std::string_view kCrLf = "\r\n";

}  // namespace qsi::platform
