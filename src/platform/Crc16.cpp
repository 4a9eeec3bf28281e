#include "platform/Crc16.h"

#include <array>
#include <cstring>

namespace qsi::platform {

namespace {

constexpr std::uint16_t kPolynomial = 0x8005;

using Table = std::array<std::uint16_t, 256>;

// kTables[0][b]: the CRC of byte b fed into a zero register, so that one
// lookup replaces eight bit steps. kTables[k][b]: the same followed by k zero
// bytes, so that eight bytes cost eight lookups and no dependent shifts
// (slicing by eight).
constexpr std::array<Table, 8> makeTables() {
  std::array<Table, 8> tables{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    unsigned crc = byte << 8;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x8000u) != 0 ? (crc << 1) ^ kPolynomial : crc << 1;
    tables[0][byte] = static_cast<std::uint16_t>(crc & 0xFFFFu);
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (unsigned byte = 0; byte < 256; ++byte) {
      const unsigned previous = tables[k - 1][byte];
      tables[k][byte] =
          static_cast<std::uint16_t>(((previous << 8) ^ tables[0][previous >> 8]) & 0xFFFFu);
    }
  return tables;
}

constexpr std::array<Table, 8> kTables = makeTables();

}  // namespace

void Crc16::update(std::string_view bytes) {
  unsigned crc = crc_;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  for (; n >= 8; n -= 8, p += 8) {
    crc = kTables[7][p[0] ^ (crc >> 8)] ^ kTables[6][p[1] ^ (crc & 0xFFu)] ^ kTables[5][p[2]] ^
          kTables[4][p[3]] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^ kTables[1][p[6]] ^
          kTables[0][p[7]];
  }
  for (; n > 0; --n, ++p) crc = ((crc << 8) ^ kTables[0][((crc >> 8) ^ *p) & 0xFFu]) & 0xFFFFu;
  crc_ = static_cast<std::uint16_t>(crc);
}

}  // namespace qsi::platform
