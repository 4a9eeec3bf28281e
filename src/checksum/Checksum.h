#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Crc16.h"

namespace qsi::checksum {

using platform::Crc16;

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

// What the journal keeps to know a file's bytes again: their number, their
// CRC-16 (the checksum text's) and their CRC-32C, libraries included. A
// journal of an earlier version holds no CRC-32C.
struct Fingerprint {
  std::uint64_t size = 0;
  std::uint16_t crc = 0;
  std::optional<std::uint32_t> crc32c;
  friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
};

// Whether two fingerprints tell the same bytes for sure: both hold a
// CRC-32C, and all agree. A CRC-16 alone is shared by one file in 65,536
// and decides nothing.
[[nodiscard]] bool sameBytes(const Fingerprint& a, const Fingerprint& b);

// The fingerprint of a file's bytes, its CRC-32C included. Throws std::system_error naming the
// file when it cannot be read.
[[nodiscard]] Fingerprint fingerprintOf(const std::filesystem::path& file);

// The checksum text of the bytes a fingerprint stands for, whatever the
// file's name: what a copy is verified against.
[[nodiscard]] std::string checksumOfBytes(const Fingerprint& fingerprint);

// Whether the path's last three characters are "dll" in any case: libraries
// are never checksummed.
[[nodiscard]] bool isLibraryPath(const std::filesystem::path& path);

// The checksum text that stands for none: what getFileChecksum and the
// Metabase give when there is none to be had, and what a package ships for a
// file whose bytes are not to be checked.
inline constexpr std::string_view kNoChecksum = "0";

// A checksum text as the records keep it: "0" and an empty text are none.
[[nodiscard]] std::optional<std::string> knownChecksum(std::string text);

// The checksum text of a file. "0" when the file does not exist or when the
// path's last three characters are "dll" in any case (libraries are never
// checksummed, and are not opened). Throws std::system_error naming the file
// when it exists but cannot be read.
[[nodiscard]] std::string getFileChecksum(const std::filesystem::path& path);

}  // namespace qsi::checksum
