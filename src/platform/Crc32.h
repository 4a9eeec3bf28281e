#pragma once

#include <cstdint>
#include <string_view>

namespace qsi::platform {

// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78, initial value and
// final XOR all ones) of `bytes`: strong enough to tell a torn or altered
// journal record from a whole one, where CRC-16 is not.
[[nodiscard]] std::uint32_t crc32c(std::string_view bytes);

}  // namespace qsi::platform
