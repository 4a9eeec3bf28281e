#include "platform/ComRegistrar.h"

#include <system_error>

#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/Text.h"

namespace qsi::platform {

std::string RegistryComRegistrar::keyOf(const std::filesystem::path& dll) {
  return std::string(kComRegistrationsKey) + "\\" + replaceAll(dll.string(), "\\", "/");
}

void RegistryComRegistrar::registerComponent(const std::filesystem::path& dll) {
  // Registration loads the DLL: a file that is not there cannot be registered.
  if (const std::error_code ec = regularFileProblem(dll))
    throw Failure(
        kComRegistrationFailure, "ComRegistrar",
        withReason("The component " + dll.string() + " cannot be registered", systemReason(ec)));
  // A store that cannot keep the key or the value throws: never a false "done".
  const std::string key = keyOf(dll);
  if (!registry_.createKey(key) || !registry_.writeValue(key, "DLL", dll.string()))
    throw Failure(kComRegistrationFailure, "ComRegistrar",
                  "The component " + dll.string() +
                      " cannot be registered: the registry store refused its key.");
}

void RegistryComRegistrar::unregisterComponent(const std::filesystem::path& dll) {
  // The key goes even without its value: a registration killed between its
  // two writes leaves one. Whether deleteKey finds the key or another writer
  // took it first, none is left; a store that cannot keep the change throws.
  (void)registry_.deleteKey(keyOf(dll));
}

std::optional<bool> RegistryComRegistrar::isRegistered(const std::filesystem::path& dll) const {
  return registry_.readValue(keyOf(dll), "DLL").has_value();
}

std::vector<std::string> RegistryComRegistrar::keysMadeByRegistering() const {
  std::vector<std::string> missing;
  for (std::string_view key : {kRegistrarKey, kComRegistrationsKey})
    if (!missing.empty() || !registry_.subKeys(key)) missing.emplace_back(key);
  return missing;
}

}  // namespace qsi::platform
