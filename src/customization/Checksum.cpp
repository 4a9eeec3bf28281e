#include "customization/Checksum.h"

#include <array>
#include <cstdio>
#include <system_error>
#include <vector>

#include "platform/FileIO.h"
#include "platform/Text.h"

namespace qsi::customization {

namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t kPolynomial = 0x8005;
constexpr std::size_t kChunkSize = std::size_t{64} * 1024;

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

std::int32_t crcRegister(std::uint16_t crc) {
  // The last bit step XORs 0x8005, which sets bit 0, exactly when it sets
  // the upper half too; a shift alone leaves bit 0 clear.
  const std::uint32_t bits = (crc & 1u) != 0 ? 0xFFFF0000u | crc : crc;
  return static_cast<std::int32_t>(bits);
}

std::int32_t calculateCRC(std::string_view text) {
  Crc16 crc;
  crc.update(text);
  return crcRegister(crc.value());
}

std::string checksumText(std::int32_t crcRegister) {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(crcRegister));
  const std::string_view text(digits);
  return std::string(text.starts_with("FFFF") ? text.substr(4) : text);
}

std::string getFileChecksum(const fs::path& path) {
  const std::string text = path.string();
  const std::string_view ending =
      std::string_view(text).substr(text.size() < 3 ? 0 : text.size() - 3);
  if (platform::toLower(ending) == "dll") return "0";
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return "0";

  platform::InputFile in(path);
  std::vector<char> chunk(kChunkSize);
  Crc16 crc;
  for (std::size_t got = 0; (got = in.read(chunk.data(), chunk.size())) > 0;)
    crc.update(std::string_view(chunk.data(), got));
  return checksumText(crcRegister(crc.value()));
}

}  // namespace qsi::customization
