#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qsi::customization {

// CRC-16 with polynomial 0x8005, initial value 0, bits most significant
// first, no reflection and no final XOR; fed in pieces, so a large file
// never has to be in memory whole.
class Crc16 {
 public:
  void update(std::string_view bytes);
  [[nodiscard]] std::uint16_t value() const { return crc_; }

 private:
  std::uint16_t crc_ = 0;
};

// The CRC register as the checksum's text form needs it: a 32-bit signed
// value whose upper 16 bits are all ones exactly when the CRC is odd (the
// polynomial, sign-extended, was applied at the last bit).
[[nodiscard]] std::int32_t crcRegister(std::uint16_t crc);

// The register of `text`, each character standing for one byte.
[[nodiscard]] std::int32_t calculateCRC(std::string_view text);

// Upper-case hexadecimal of the register with a leading "FFFF" dropped: an
// odd CRC gives exactly four digits (leading zeros kept, "02C5"), an even
// one its digits without leading zeros ("186", "0").
[[nodiscard]] std::string checksumText(std::int32_t crcRegister);

// The checksum text of a file. "0" when the file does not exist or when the
// path's last three characters are "dll" in any case (libraries are never
// checksummed, and are not opened). Throws std::system_error naming the file
// when it exists but cannot be read.
[[nodiscard]] std::string getFileChecksum(const std::filesystem::path& path);

}  // namespace qsi::customization
