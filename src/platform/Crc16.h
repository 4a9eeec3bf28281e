#pragma once

#include <cstdint>
#include <string_view>

namespace qsi::platform {

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

}  // namespace qsi::platform
