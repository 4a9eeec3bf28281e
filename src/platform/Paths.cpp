#include "platform/Paths.h"

#include <cstdlib>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/Text.h"

namespace qsi::platform {

namespace fs = std::filesystem;

fs::path joinDataPath(const fs::path& base, std::string_view dataPath) {
  fs::path result = base;
  for (const std::string& part : split(dataPath, '\\'))
    if (!part.empty()) result /= part;
  if (dataPath.ends_with('\\')) result /= "";
  return result;
}

std::optional<std::string> nameProblem(std::string_view name) {
  if (name.empty()) return "the name is empty";
  if (name == "." || name == "..") return "the name is \"" + std::string(name) + "\"";
  if (contains(name, "\\")) return "the name holds \"\\\"";
  if (contains(name, "/")) return "the name holds \"/\"";
  if (hasControlCharacter(name)) return "the name holds a control character";
#ifdef _WIN32
  if (contains(name, ":")) return "the name holds \":\"";
#endif
  return std::nullopt;
}

namespace {

// The device a name opens on Windows, whatever its extension and letter
// case ("con .asp" opens CON); nullopt for a name of a file.
std::optional<std::string> deviceOf(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  while (stem.ends_with(' ')) stem.remove_suffix(1);
  std::string device = toUpper(stem);
  if (device == "CON" || device == "NUL" || device == "AUX" || device == "PRN") return device;
  if (device.size() == 4 && (device.starts_with("COM") || device.starts_with("LPT")) &&
      device[3] >= '1' && device[3] <= '9')
    return device;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> windowsNameProblem(std::string_view name) {
  for (const char c : std::string_view(":*?\"<>|"))
    if (contains(name, std::string_view(&c, 1)))
      return "the name holds \"" + std::string(1, c) + "\", which Windows does not allow";
  if (const auto device = deviceOf(name))
    return "the name is that of a device on Windows (" + *device + ")";
  if (name.ends_with('.')) return "the name ends in a dot, which Windows drops";
  if (name.ends_with(' ')) return "the name ends in a blank, which Windows drops";
  return std::nullopt;
}

std::optional<fs::path> joinBelow(const fs::path& base, std::string_view dataPath) {
  fs::path result = base;
  for (const std::string& part : split(dataPath, '\\')) {
    if (nameProblem(part) || windowsNameProblem(part)) return std::nullopt;
    result /= part;
  }
  if (!liesBelow(base, result)) return std::nullopt;
  return result;
}

bool liesBelow(const fs::path& base, const fs::path& path) {
  const fs::path relative = path.lexically_normal().lexically_relative(base.lexically_normal());
  return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

std::string toDataPath(const fs::path& relative) {
  std::string out;
  for (const auto& part : relative) {
    if (!out.empty()) out.push_back('\\');
    out.append(part.string());
  }
  return out;
}

std::string displayPath(const fs::path& path, bool asFolder) {
  std::string text = fs::path(path).make_preferred().string();
  if (asFolder && !text.empty() && text.back() != static_cast<char>(fs::path::preferred_separator))
    text.push_back(static_cast<char>(fs::path::preferred_separator));
  return text;
}

fs::path installerFolder() {
#ifdef _WIN32
  char buffer[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return fs::path(std::string(buffer, length)).parent_path();
#else
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : exe.parent_path();
#endif
}

fs::path windowsFolder() {
#ifdef _WIN32
  char buffer[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
  return fs::path(std::string(buffer, length));
#else
  if (const char* env = std::getenv("WINDIR"); env != nullptr && *env != '\0') return env;
  return "/var/lib/qsolutioninstaller/windows";
#endif
}

#ifdef _WIN32
fs::path systemFolder() {
  char buffer[MAX_PATH];
  const UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
  return fs::path(std::string(buffer, length));
}
#endif

fs::path shortPath(const fs::path& path) {
#ifdef _WIN32
  char buffer[MAX_PATH * 4];
  const DWORD length = GetShortPathNameA(path.string().c_str(), buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return path;
  return fs::path(std::string(buffer, length));
#else
  return path;
#endif
}

}  // namespace qsi::platform
