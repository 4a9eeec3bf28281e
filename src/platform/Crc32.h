#pragma once

#include <cstdint>
#include <string_view>

namespace qsi::platform {

// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78, initial value and
// final XOR all ones) of `bytes`: strong enough to tell a torn or altered
// journal record from a whole one, or a file's bytes from another's, where
// CRC-16 is not. Given the CRC-32C of the bytes before, `previous`, it
// goes on from there: crc32c(b, crc32c(a)) == crc32c(a + b).
[[nodiscard]] std::uint32_t crc32c(std::string_view bytes, std::uint32_t previous = 0);

}  // namespace qsi::platform
