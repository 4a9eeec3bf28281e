#include "site/RegistryAccess.h"

#include "platform/Failure.h"

namespace qsi::site {

namespace {
constexpr std::size_t kValueBuffer = 1024;
constexpr std::size_t kSubKeyBuffer = 2000;
}  // namespace

std::string readRegistryValue(const platform::Registry& registry, std::string_view key,
                              std::string_view name, std::string_view defaultValue) {
  const auto value = registry.readValue(key, name);
  if (!value || value->size() >= kValueBuffer) return std::string(defaultValue);
  return *value;
}

void checkStringValue(const platform::Registry& registry, std::string_view key,
                      std::string_view name) {
  const auto value = registry.readRawValue(key, name);
  if (!value || value->type == platform::kRegSz) return;
  while (key.ends_with('\\')) key.remove_suffix(1);
  throw platform::Failure(platform::kReadFailure, "readRegistryValue",
                          "The registry value \"" + std::string(name) +
                              "\" of key HKEY_LOCAL_MACHINE\\" + std::string(key) + " is of type " +
                              platform::registryTypeName(value->type) +
                              ", not a string: the version it holds cannot be read.");
}

bool writeRegistryValue(platform::Registry& registry, std::string_view key, std::string_view name,
                        std::string_view text) {
  return registry.writeValue(key, name, text);
}

std::optional<std::vector<std::string>> enumRegistrySubKeys(const platform::Environment& env,
                                                            std::string_view key) {
  auto names = env.registry.subKeys(key);
  if (!names) {
    env.ui.messageBox({"Key not available in registry: " + std::string(key)});
    return std::nullopt;
  }
  std::erase_if(*names, [](const std::string& n) { return n.size() >= kSubKeyBuffer; });
  if (names->empty()) names->emplace_back();
  return names;
}

std::string moduleKey(std::string_view configKey, std::string_view module) {
  return std::string(configKey) + "Modules\\" + std::string(module);
}

bool isModuleInstalled(const platform::Registry& registry, std::string_view module) {
  return readRegistryValue(registry, moduleKey(kWebServerConfig, module), "Installed", "") == "1";
}

std::string getModuleAppVersion(const platform::Registry& registry, std::string_view module) {
  const std::string key = moduleKey(kWebServerConfig, module);
  checkStringValue(registry, key, "AppVersion");
  return readRegistryValue(registry, key, "AppVersion", "");
}

std::string getHostname(const platform::Registry& registry) {
  return readRegistryValue(registry, kWebServerConfig, "Hostname", "");
}

std::string getSqlServerName(const platform::Registry& registry) {
  return readRegistryValue(registry, std::string(kWebServerConfig) + "SQL Server\\", "Server", "");
}

}  // namespace qsi::site
