#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Registry.h"

namespace qsi::platform {

// Registers and unregisters the COM component contained in a DLL file.
class ComRegistrar {
 public:
  virtual ~ComRegistrar() = default;
  // True when the DLL's component is registered afterwards; false when the
  // file cannot be registered (it does not exist, the registrar refused it).
  // Throws Failure when the registrar cannot be reached or cannot store the
  // change.
  virtual bool registerComponent(const std::filesystem::path& dll) = 0;
  // True when no registration of the DLL is left afterwards; throws as
  // registerComponent does.
  virtual bool unregisterComponent(const std::filesystem::path& dll) = 0;
  // Whether the DLL's component is registered; nullopt where that cannot be
  // asked (an undo then registers it again after an unregistration).
  [[nodiscard]] virtual std::optional<bool> isRegistered(const std::filesystem::path& dll) const {
    (void)dll;
    return std::nullopt;
  }
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
  [[nodiscard]] std::optional<bool> isRegistered(const std::filesystem::path& dll) const override;

 private:
  [[nodiscard]] static std::string keyOf(const std::filesystem::path& dll);
  Registry& registry_;
};

#ifdef _WIN32
// The web commerce server's administration object, created afresh by its
// program identifier for each call and reached through late binding
// (IDispatch): RegisterComponent or UnregisterComponent with the DLL's path.
// Throws Failure when the object cannot be created; a call that fails gives
// false.
class Win32ComRegistrar final : public ComRegistrar {
 public:
  static constexpr std::string_view kProgId = "Commerce.AdminFiles";
  explicit Win32ComRegistrar(std::string progId = std::string(kProgId))
      : progId_(std::move(progId)) {}

  bool registerComponent(const std::filesystem::path& dll) override;
  bool unregisterComponent(const std::filesystem::path& dll) override;

 private:
  std::string progId_;
};
#endif

}  // namespace qsi::platform
