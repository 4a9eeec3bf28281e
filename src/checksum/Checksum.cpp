#include "checksum/Checksum.h"

#include <array>
#include <cstdio>
#include <system_error>
#include <vector>

#include "platform/Crc32.h"
#include "platform/FileIO.h"
#include "platform/Text.h"

namespace qsi::checksum {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunkSize = std::size_t{64} * 1024;

}  // namespace

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

Fingerprint fingerprintOf(const fs::path& file) {
  platform::InputFile in(file);
  std::vector<char> chunk(kChunkSize);
  Crc16 crc;
  std::uint32_t strong = 0;
  Fingerprint fingerprint;
  for (std::size_t got = 0; (got = in.read(chunk.data(), chunk.size())) > 0;) {
    crc.update(std::string_view(chunk.data(), got));
    strong = platform::crc32c(std::string_view(chunk.data(), got), strong);
    fingerprint.size += got;
  }
  fingerprint.crc = crc.value();
  fingerprint.crc32c = strong;
  return fingerprint;
}

bool sameBytes(const Fingerprint& a, const Fingerprint& b) {
  return a.crc32c && b.crc32c && a == b;
}

std::string checksumOfBytes(const Fingerprint& fingerprint) {
  return checksumText(crcRegister(fingerprint.crc));
}

bool isLibraryPath(const fs::path& path) {
  const std::string text = path.string();
  return text.size() >= 3 &&
         platform::toLower(std::string_view(text).substr(text.size() - 3)) == "dll";
}

std::optional<std::string> knownChecksum(std::string text) {
  if (text.empty() || text == kNoChecksum) return std::nullopt;
  return text;
}

std::string getFileChecksum(const fs::path& path) {
  if (isLibraryPath(path)) return std::string(kNoChecksum);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::string(kNoChecksum);
  return checksumOfBytes(fingerprintOf(path));
}

}  // namespace qsi::checksum
