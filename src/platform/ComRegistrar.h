#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace qsi::platform {

// Registers and unregisters the COM component contained in a DLL file.
class ComRegistrar {
 public:
  virtual ~ComRegistrar() = default;
  // True when the DLL's component is registered afterwards; false when the
  // file cannot be registered (it does not exist, the store refused).
  virtual bool registerComponent(const std::filesystem::path& dll) = 0;
  // True when no registration of the DLL is left afterwards.
  virtual bool unregisterComponent(const std::filesystem::path& dll) = 0;
};

// Registrations kept in the registry store: one key per DLL below
// kComRegistrationsKey, named by the DLL's path with "/" for "\" (a key name
// cannot hold "\"), with the value "DLL" holding the path.
class RegistryComRegistrar final : public ComRegistrar {
 public:
  static constexpr std::string_view kComRegistrationsKey =
      "SOFTWARE\\Classes\\QSolutionInstaller\\ComRegistrations";

  explicit RegistryComRegistrar(Registry& registry) : registry_(registry) {}

  bool registerComponent(const std::filesystem::path& dll) override;
  bool unregisterComponent(const std::filesystem::path& dll) override;
  [[nodiscard]] bool isRegistered(const std::filesystem::path& dll) const;

 private:
  [[nodiscard]] static std::string keyOf(const std::filesystem::path& dll);
  Registry& registry_;
};

}  // namespace qsi::platform
