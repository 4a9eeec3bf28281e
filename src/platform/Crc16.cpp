#include "platform/Crc16.h"

#include <array>

namespace qsi::platform {

namespace {

constexpr std::uint16_t kPolynomial = 0x8005;

// The CRC of each byte value fed into a zero register, so that one lookup
// replaces eight bit steps.
constexpr std::array<std::uint16_t, 256> makeTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    unsigned crc = byte << 8;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x8000u) != 0 ? (crc << 1) ^ kPolynomial : crc << 1;
    table[byte] = static_cast<std::uint16_t>(crc & 0xFFFFu);
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kTable = makeTable();

}  // namespace

void Crc16::update(std::string_view bytes) {
  unsigned crc = crc_;
  for (const char c : bytes) {
    const unsigned index = ((crc >> 8) ^ static_cast<unsigned char>(c)) & 0xFFu;
    crc = ((crc << 8) ^ kTable[index]) & 0xFFFFu;
  }
  crc_ = static_cast<std::uint16_t>(crc);
}

}  // namespace qsi::platform
