#include <utility>

#include "platform/Failure.h"
#include "platform/Registry.h"
#include "platform/win32/Dispatch.h"
#include "platform/win32/WindowsApi.h"

namespace qsi::platform {

namespace {

[[noreturn]] void storeFailure(std::string_view what, std::string_view key, LSTATUS status) {
  throw Failure(kRegistryStoreFailure, "Win32Registry",
                std::string(what) + " HKEY_LOCAL_MACHINE\\" + std::string(key) + ": " +
                    win32ErrorText(static_cast<unsigned long>(status)));
}

// An open registry key, closed when the object goes.
class Key {
 public:
  Key(std::string_view path, REGSAM access)
      : status_(RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath(path).c_str(), 0, access, &handle_)) {
    if (status_ != ERROR_SUCCESS) handle_ = nullptr;
  }
  ~Key() {
    if (handle_ != nullptr) RegCloseKey(handle_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  [[nodiscard]] HKEY get() const { return handle_; }
  [[nodiscard]] LSTATUS status() const { return status_; }
  explicit operator bool() const { return handle_ != nullptr; }

  // The installer's key paths may end in "\": the registry's do not.
  static std::string keyPath(std::string_view path) {
    while (path.ends_with('\\')) path.remove_suffix(1);
    return std::string(path);
  }

 private:
  HKEY handle_ = nullptr;
  LSTATUS status_;
};

}  // namespace

std::optional<std::string> Win32Registry::readValue(std::string_view key,
                                                    std::string_view name) const {
  const Key open(key, KEY_QUERY_VALUE);
  if (!open) return std::nullopt;
  const std::string valueName(name);
  std::string data(256, '\0');
  for (;;) {
    DWORD type = 0;
    auto size = static_cast<DWORD>(data.size());
    const LSTATUS status = RegQueryValueExA(open.get(), valueName.c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(data.data()), &size);
    if (status == ERROR_MORE_DATA) {
      data.resize(static_cast<std::size_t>(size) + 1);
      continue;
    }
    if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    data.resize(size);
    // The stored text may or may not carry its terminating NUL.
    if (const auto end = data.find('\0'); end != std::string::npos) data.resize(end);
    return data;
  }
}

// The wide call: the ANSI one turns text into the code page, and the bytes
// must be those the registry holds.
std::optional<RegistryValue> Win32Registry::readRawValue(std::string_view key,
                                                         std::string_view name) const {
  const Key open(key, KEY_QUERY_VALUE);
  if (!open) return std::nullopt;
  const std::wstring valueName = toWide(name);
  RegistryValue value{kRegNone, std::string(64, '\0')};
  for (;;) {
    DWORD type = 0;
    auto size = static_cast<DWORD>(value.data.size());
    const LSTATUS status = RegQueryValueExW(open.get(), valueName.c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(value.data.data()), &size);
    if (status == ERROR_MORE_DATA) {
      value.data.resize(size);
      continue;
    }
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (status != ERROR_SUCCESS)
      storeFailure("Cannot read the value \"" + std::string(name) + "\" of the registry key",
                   Key::keyPath(key), status);
    value.type = type;
    value.data.resize(size);
    return value;
  }
}

bool Win32Registry::writeValue(std::string_view key, std::string_view name, std::string_view text) {
  // A NUL ends a name or a text where Windows reads it: what follows would be lost.
  for (const std::string_view part : {key, name, text})
    if (part.find('\0') != std::string_view::npos)
      throw Failure(kRegistryStoreFailure, "Win32Registry",
                    "The registry value \"" + std::string(name.substr(0, name.find('\0'))) +
                        "\" of key HKEY_LOCAL_MACHINE\\" +
                        std::string(key.substr(0, key.find('\0'))) +
                        " cannot be stored: it holds the character \\x00.");
  const Key open(key, KEY_SET_VALUE);  // opened, never created
  if (open.status() == ERROR_FILE_NOT_FOUND) return false;
  if (!open) storeFailure("Cannot open the registry key", Key::keyPath(key), open.status());
  const std::string data(text);  // with its NUL, which the size counts
  const LSTATUS status = RegSetValueExA(open.get(), std::string(name).c_str(), 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(data.c_str()),
                                        static_cast<DWORD>(data.size() + 1));
  if (status != ERROR_SUCCESS)
    storeFailure("Cannot set the value \"" + std::string(name) + "\" of the registry key",
                 Key::keyPath(key), status);
  return true;
}

bool Win32Registry::writeRawValue(std::string_view key, std::string_view name,
                                  const RegistryValue& value) {
  const Key open(key, KEY_SET_VALUE);  // opened, never created
  if (open.status() == ERROR_FILE_NOT_FOUND) return false;
  if (!open) storeFailure("Cannot open the registry key", Key::keyPath(key), open.status());
  const LSTATUS status = RegSetValueExW(open.get(), toWide(name).c_str(), 0, value.type,
                                        reinterpret_cast<const BYTE*>(value.data.data()),
                                        static_cast<DWORD>(value.data.size()));
  if (status != ERROR_SUCCESS)
    storeFailure("Cannot set the value \"" + std::string(name) + "\" of the registry key",
                 Key::keyPath(key), status);
  return true;
}

bool Win32Registry::deleteValue(std::string_view key, std::string_view name) {
  const Key open(key, KEY_SET_VALUE);
  if (open.status() == ERROR_FILE_NOT_FOUND) return false;
  if (!open) storeFailure("Cannot open the registry key", Key::keyPath(key), open.status());
  const LSTATUS status = RegDeleteValueA(open.get(), std::string(name).c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
    storeFailure("Cannot delete the value \"" + std::string(name) + "\" of the registry key",
                 Key::keyPath(key), status);
  return true;
}

std::optional<std::vector<std::string>> Win32Registry::subKeys(std::string_view key) const {
  const Key open(key, KEY_ENUMERATE_SUB_KEYS);
  if (!open) return std::nullopt;
  std::vector<std::string> names;
  std::string buffer(2000, '\0');
  for (DWORD index = 0;; ++index) {
    auto length = static_cast<DWORD>(buffer.size());
    const LSTATUS status = RegEnumKeyExA(open.get(), index, buffer.data(), &length, nullptr,
                                         nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) break;  // ERROR_NO_MORE_ITEMS at the end
    names.emplace_back(buffer.data(), length);
  }
  return names;
}

std::optional<std::vector<std::string>> Win32Registry::valueNames(std::string_view key) const {
  const Key open(key, KEY_QUERY_VALUE);
  if (!open) return std::nullopt;
  std::vector<std::string> names;
  std::string buffer(16384, '\0');  // the longest value name the registry allows, and its NUL
  for (DWORD index = 0;; ++index) {
    auto length = static_cast<DWORD>(buffer.size());
    const LSTATUS status = RegEnumValueA(open.get(), index, buffer.data(), &length, nullptr,
                                         nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) break;  // ERROR_NO_MORE_ITEMS at the end
    names.emplace_back(buffer.data(), length);
  }
  return names;
}

bool Win32Registry::createKey(std::string_view key) {
  HKEY handle = nullptr;
  const LSTATUS status =
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, Key::keyPath(key).c_str(), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_QUERY_VALUE, nullptr, &handle, nullptr);
  if (status != ERROR_SUCCESS)
    storeFailure("Cannot create the registry key", Key::keyPath(key), status);
  RegCloseKey(handle);
  return true;
}

bool Win32Registry::deleteKey(std::string_view key) {
  const std::string path = Key::keyPath(key);
  if (path.empty()) return false;  // never HKEY_LOCAL_MACHINE itself
  const LSTATUS status = RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status != ERROR_SUCCESS) storeFailure("Cannot delete the registry key", path, status);
  return true;
}

}  // namespace qsi::platform
