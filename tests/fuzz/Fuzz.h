#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Text.h"

namespace qsi::fuzz {

inline std::string_view textOf(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

inline std::pair<std::string_view, std::string_view> cutAt(std::string_view text, char separator) {
  const auto at = text.find(separator);
  return at == std::string_view::npos ? std::pair{text, std::string_view()}
                                      : std::pair{text.substr(0, at), text.substr(at + 1)};
}

inline bool isControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// Aborts, so that libFuzzer keeps the input that broke the property.
inline void check(bool holds, const char* property, std::string_view shown = {}) {
  if (holds) return;
  std::fprintf(stderr, "Broken: %s\n  %s\n", property, platform::escapeControls(shown).c_str());
  std::abort();
}

}  // namespace qsi::fuzz

#define QSI_FUZZ_TARGET \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
