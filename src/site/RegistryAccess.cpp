#include "site/RegistryAccess.h"

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
  return readRegistryValue(registry, moduleKey(kWebServerConfig, module), "AppVersion", "");
}

std::string getHostname(const platform::Registry& registry) {
  return readRegistryValue(registry, kWebServerConfig, "Hostname", "");
}

std::string getSqlServerName(const platform::Registry& registry) {
  return readRegistryValue(registry, std::string(kWebServerConfig) + "SQL Server\\", "Server", "");
}

}  // namespace qsi::site
