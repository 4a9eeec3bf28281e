#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Text.h"

// What the fuzz targets share: the input as text, cut in two where a target
// needs two texts, a check that ends the run so that libFuzzer keeps the
// input that broke a property, and a folder for targets that read files.
namespace qsi::fuzz {

inline std::string_view textOf(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The text before the first `separator` and the text after it (empty when
// there is none).
inline std::pair<std::string_view, std::string_view> cutAt(std::string_view text, char separator) {
  const auto at = text.find(separator);
  if (at == std::string_view::npos) return {text, {}};
  return {text.substr(0, at), text.substr(at + 1)};
}

// A control character, as the parsers' callers must never pass one on: below
// 0x20, or DEL.
inline bool isControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

inline void check(bool holds, const char* property, std::string_view shown = {}) {
  if (holds) return;
  std::fprintf(stderr, "Broken: %s\n  %s\n", property, platform::escapeControls(shown).c_str());
  std::abort();
}

// A folder of the run's own, removed when the run ends (and when it starts,
// should a crashed run of the same process id have left it).
struct TempFolder {
  std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("qsi-fuzz-" + std::to_string(::getpid()));
  TempFolder() {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace qsi::fuzz

#define QSI_FUZZ_TARGET \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
