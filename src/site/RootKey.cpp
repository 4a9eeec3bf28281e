#include "site/RootKey.h"

#include <filesystem>

#include "platform/Failure.h"
#include "platform/Text.h"

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

std::optional<std::string> instMainDirProblem(std::string_view instMainDir) {
  const std::filesystem::path path{std::string(instMainDir)};
  if (platform::hasControlCharacter(instMainDir))
    return "InstMainDir \"" + platform::escapeControls(instMainDir) +
           "\" holds a control character";
  const std::string shown = "InstMainDir \"" + std::string(instMainDir) + "\"";
  if (!path.is_absolute()) return shown + " is no absolute path";
  if (!path.has_relative_path()) return shown + " is a root";
  for (const auto& part : path.relative_path())
    if (part == "." || part == "..") return shown + " has a \"" + part.string() + "\" part";
  return std::nullopt;
}

std::filesystem::path logRootOf(const platform::Registry& registry) {
  const std::string instMainDir = getInstMainDir(registry);
  if (instMainDir.empty())
    throw platform::Failure(platform::kLogFailure, "openLogFile",
                            "The suite's installation folder (InstMainDir) is not set in the "
                            "registry.");
  if (const auto problem = instMainDirProblem(instMainDir))
    throw platform::Failure(
        platform::kLogFailure, "openLogFile",
        "The suite's installation folder cannot hold the logs: " + *problem + ".");
  return std::filesystem::path(instMainDir) / "QOLog";
}

}  // namespace qsi::site
