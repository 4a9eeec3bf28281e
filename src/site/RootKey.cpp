#include "site/RootKey.h"

namespace qsi::site {

namespace {

// `bufferSize` counts the terminating NUL, as the registry's reader does: a
// longer value does not fit and cannot be read.
std::string readRootValue(const platform::Registry& registry, std::string_view name,
                          std::size_t bufferSize) {
  auto value = registry.readValue(kRootKey, name);
  if (!value || value->size() >= bufferSize) return {};
  // The reader's result ends at the first NUL of the buffer.
  if (const auto nul = value->find('\0'); nul != std::string::npos) value->resize(nul);
  return *value;
}

}  // namespace

std::string getInstallDir(const platform::Registry& registry) {
  return readRootValue(registry, "InstallDir", 255);
}
std::string getInstMainDir(const platform::Registry& registry) {
  return readRootValue(registry, "InstMainDir", 255);
}
std::string getIISVirtId(const platform::Registry& registry) {
  return readRootValue(registry, "IISVirtId", 10);
}
std::string getMemScriptCode(const platform::Registry& registry) {
  return readRootValue(registry, "MemScriptCode", 40);
}

}  // namespace qsi::site
