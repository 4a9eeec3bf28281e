#include "platform/Crc32.h"

#include <array>

namespace qsi::platform {

namespace {

constexpr std::array<std::uint32_t, 256> makeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1U) != 0 ? 0x82F63B78U : 0U);
    table[i] = crc;
  }
  return table;
}

constexpr auto kTable = makeTable();

}  // namespace

std::uint32_t crc32c(std::string_view bytes, std::uint32_t previous) {
  std::uint32_t crc = previous ^ 0xFFFFFFFFU;
  for (const char c : bytes)
    crc = (crc >> 8) ^ kTable[(crc ^ static_cast<unsigned char>(c)) & 0xFFU];
  return crc ^ 0xFFFFFFFFU;
}

}  // namespace qsi::platform
