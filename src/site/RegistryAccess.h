#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Environment.h"
#include "site/RootKey.h"

namespace qsi::site {

inline constexpr std::string_view kWebServerConfig =
    "SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\";
inline constexpr std::string_view kDbServerConfig =
    "SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\DbServerConfig\\";
inline constexpr std::string_view kModulesKey =
    "SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\Modules";

// The value's text, or `defaultValue` when the key or value is missing or the
// value does not fit the 1024-character buffer.
[[nodiscard]] std::string readRegistryValue(const platform::Registry& registry,
                                            std::string_view key, std::string_view name,
                                            std::string_view defaultValue);

// Throws Failure naming the key, the value and its type when the value is
// there but no plain string: a version of another type would read as blank,
// as that of a module never installed. Nothing when it is a string or missing.
void checkStringValue(const platform::Registry& registry, std::string_view key,
                      std::string_view name);

// True when the value was written; false when the key does not exist (it is
// never created). Throws Failure when the store cannot keep the change.
bool writeRegistryValue(platform::Registry& registry, std::string_view key, std::string_view name,
                        std::string_view text);

// The names of the key's direct subkeys; a key without subkeys gives one empty
// name. A missing key shows "Key not available in registry: " + key and gives
// nullopt ("no list at all"); the caller fails on it.
[[nodiscard]] std::optional<std::vector<std::string>> enumRegistrySubKeys(
    const platform::Environment& env, std::string_view key);

// The module's key under the web server configuration.
[[nodiscard]] std::string moduleKey(std::string_view configKey, std::string_view module);

[[nodiscard]] bool isModuleInstalled(const platform::Registry& registry, std::string_view module);
// The module's "AppVersion" below the web server configuration; checked
// with checkStringValue.
[[nodiscard]] std::string getModuleAppVersion(const platform::Registry& registry,
                                              std::string_view module);
[[nodiscard]] std::string getHostname(const platform::Registry& registry);
[[nodiscard]] std::string getSqlServerName(const platform::Registry& registry);

}  // namespace qsi::site
