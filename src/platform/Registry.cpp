#include "platform/Registry.h"

#include <array>
#include <string_view>

namespace qsi::platform {

std::string registryTypeName(std::uint32_t type) {
  constexpr auto kNames = std::to_array<std::string_view>(
      {"REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD", "REG_DWORD_BIG_ENDIAN",
       "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST", "REG_FULL_RESOURCE_DESCRIPTOR",
       "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD"});
  if (type < kNames.size()) return std::string(kNames[type]);
  return "type " + std::to_string(type);
}

}  // namespace qsi::platform
