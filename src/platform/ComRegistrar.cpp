#include "platform/ComRegistrar.h"

#include <system_error>

#include "platform/Text.h"

namespace qsi::platform {

std::string RegistryComRegistrar::keyOf(const std::filesystem::path& dll) {
  return std::string(kComRegistrationsKey) + "\\" + replaceAll(dll.string(), "\\", "/");
}

bool RegistryComRegistrar::registerComponent(const std::filesystem::path& dll) {
  // Registration loads the DLL: a file that is not there cannot be registered.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(dll, ec)) return false;
  // A store that cannot keep the key or the value throws: never a false "done".
  const std::string key = keyOf(dll);
  return registry_.createKey(key) && registry_.writeValue(key, "DLL", dll.string());
}

bool RegistryComRegistrar::unregisterComponent(const std::filesystem::path& dll) {
  // The key goes even without its value: a registration killed between its
  // two writes leaves one. Whether deleteKey finds the key or another writer
  // took it first, none is left; a store that cannot keep the change throws.
  (void)registry_.deleteKey(keyOf(dll));
  return true;
}

std::optional<bool> RegistryComRegistrar::isRegistered(const std::filesystem::path& dll) const {
  return registry_.readValue(keyOf(dll), "DLL").has_value();
}

}  // namespace qsi::platform
