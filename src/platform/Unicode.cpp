#include "platform/Unicode.h"

namespace qsi::platform {

namespace {

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool isContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

TextEncoding encodingOf(std::string_view bytes) {
  if (bytes.starts_with(kUtf8Mark)) return TextEncoding::Utf8WithMark;
  if (bytes.starts_with(kUtf16LeMark)) return TextEncoding::Utf16Le;
  if (bytes.starts_with(kUtf16BeMark)) return TextEncoding::Utf16Be;
  return TextEncoding::Bytes;
}

std::string decodeText(std::string_view bytes) {
  switch (encodingOf(bytes)) {
    case TextEncoding::Utf8WithMark:
      return std::string(bytes.substr(kUtf8Mark.size()));
    case TextEncoding::Utf16Le:
      return utf16ToUtf8(bytes.substr(kUtf16LeMark.size()));
    case TextEncoding::Utf16Be:
      return utf16ToUtf8(bytes.substr(kUtf16BeMark.size()), true);
    case TextEncoding::Bytes:
      break;
  }
  return std::string(bytes);
}

std::string utf16ToUtf8(std::string_view units, bool bigEndian) {
  const std::size_t end = units.size() - units.size() % 2;
  const auto unit = [&](std::size_t at) {
    const auto first = static_cast<unsigned char>(units[at]);
    const auto second = static_cast<unsigned char>(units[at + 1]);
    return static_cast<char32_t>(bigEndian ? first << 8 | second : second << 8 | first);
  };
  std::string out;
  out.reserve(end / 2);
  for (std::size_t at = 0; at < end; at += 2) {
    char32_t c = unit(at);
    if (c >= 0xD800 && c < 0xDC00 && at + 2 < end) {
      const char32_t low = unit(at + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        at += 2;
      }
    }
    appendUtf8(out, c);
  }
  return out;
}

// An overlong or out-of-range sequence is taken as it decodes; it does not
// read back the same, which callers that print text check.
std::optional<std::string> utf8ToUtf16(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  const auto put = [&](char32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  };
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80                   ? 1
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    bool valid = length != 0 && at + length <= text.size();
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; valid && i < length; ++i) {
      valid = isContinuation(text[at + i]);
      c = (c << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    if (!valid) return std::nullopt;
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
    at += length;
  }
  return out;
}

std::string_view firstCharacters(std::string_view text, std::size_t count) {
  std::size_t seen = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (isContinuation(text[at])) continue;
    if (seen == count) return text.substr(0, at);
    ++seen;
  }
  return text;
}

}  // namespace qsi::platform
