#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Registry.h"

namespace qsi::platform {

// The number of a registration that failed.
inline constexpr long kComRegistrationFailure = 1070;

// Registers and unregisters the COM component contained in a DLL file.
class ComRegistrar {
 public:
  virtual ~ComRegistrar() = default;
  // Registers the DLL's component. Throws Failure with the registrar's
  // reason when it cannot (the file does not exist, the registrar refused it
  // or cannot store the change), and ServiceUnavailable when there is no
  // registrar to reach.
  virtual void registerComponent(const std::filesystem::path& dll) = 0;
  // Leaves no registration of the DLL; throws as registerComponent does.
  virtual void unregisterComponent(const std::filesystem::path& dll) = 0;
  // Whether the DLL's component is registered; nullopt where that cannot be
  // asked (an undo then registers it again after an unregistration).
  [[nodiscard]] virtual std::optional<bool> isRegistered(const std::filesystem::path& dll) const {
    (void)dll;
    return std::nullopt;
  }
  // The registry keys a registration would make that are missing now, from
  // the top; an unregistration of the DLL leaves them, so a run journals them
  // for undo to remove. None where the registrar keeps nothing in the
  // registry.
  [[nodiscard]] virtual std::vector<std::string> keysMadeByRegistering() const { return {}; }
};

// Registrations kept in the registry store: one key per DLL below
// kComRegistrationsKey, named by the DLL's path with "/" for "\" (a key name
// cannot hold "\"), with the value "DLL" holding the path.
class RegistryComRegistrar final : public ComRegistrar {
 public:
  // The registrar's own key, which holds nothing else; below it, the
  // registrations' key.
  static constexpr std::string_view kRegistrarKey = "SOFTWARE\\Classes\\QSolutionInstaller";
  static constexpr std::string_view kComRegistrationsKey =
      "SOFTWARE\\Classes\\QSolutionInstaller\\ComRegistrations";

  explicit RegistryComRegistrar(Registry& registry) : registry_(registry) {}

  void registerComponent(const std::filesystem::path& dll) override;
  void unregisterComponent(const std::filesystem::path& dll) override;
  [[nodiscard]] std::optional<bool> isRegistered(const std::filesystem::path& dll) const override;
  // The levels from kRegistrarKey down to kComRegistrationsKey that are
  // missing; the keys above are not the registrar's.
  [[nodiscard]] std::vector<std::string> keysMadeByRegistering() const override;

 private:
  [[nodiscard]] static std::string keyOf(const std::filesystem::path& dll);
  Registry& registry_;
};

#ifdef _WIN32
// The web commerce server's administration object, created afresh by its
// program identifier for each call and reached through late binding
// (IDispatch): RegisterComponent or UnregisterComponent with the DLL's path.
// Throws ServiceUnavailable when the object cannot be created, and Failure
// with the HRESULT and the object's or the system's text when a call fails.
class Win32ComRegistrar final : public ComRegistrar {
 public:
  static constexpr std::string_view kProgId = "Commerce.AdminFiles";
  explicit Win32ComRegistrar(std::string progId = std::string(kProgId))
      : progId_(std::move(progId)) {}

  void registerComponent(const std::filesystem::path& dll) override;
  void unregisterComponent(const std::filesystem::path& dll) override;

 private:
  std::string progId_;
};
#endif

}  // namespace qsi::platform
