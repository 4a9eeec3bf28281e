#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Text files from outside come as ANSI bytes, as UTF-8 with or without its
// byte-order mark, or as UTF-16 with its mark. The program works on bytes:
// Unicode text reaches it as UTF-8.
namespace qsi::platform {

enum class TextEncoding { Bytes, Utf8WithMark, Utf16Le, Utf16Be };

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
inline constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
inline constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

// The encoding that the text's byte-order mark names; Bytes without one.
[[nodiscard]] TextEncoding encodingOf(std::string_view bytes);

// The text after its mark, UTF-16 turned into UTF-8; any other text as it is.
[[nodiscard]] std::string decodeText(std::string_view bytes);

// UTF-16 code units to WTF-8: a surrogate without its partner is encoded as if
// it were a character, so that the text comes back as it was. A last odd byte,
// half a unit, is left out.
[[nodiscard]] std::string utf16ToUtf8(std::string_view units, bool bigEndian = false);

// WTF-8 to UTF-16 LE code units; nullopt when a byte starts no character.
[[nodiscard]] std::optional<std::string> utf8ToUtf16(std::string_view text);

// At most `count` characters of UTF-8 text, never half of one.
[[nodiscard]] std::string_view firstCharacters(std::string_view text, std::size_t count);

}  // namespace qsi::platform
