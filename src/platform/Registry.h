#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qsi::platform {

// The registry's value types, by their numbers.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// "REG_DWORD" for a type the registry names, else "type 12".
[[nodiscard]] std::string registryTypeName(std::uint32_t type);

// A value as the registry holds it, whatever its type, so that it can be
// told apart and put back as it was: its type and its bytes as a version 5
// export lists them after hex(N): text in UTF-16 LE ended by a NUL unit (a
// list of texts ended by two), a DWORD in four bytes, lowest first.
struct RegistryValue {
  std::uint32_t type = kRegSz;
  std::string data;
  bool operator==(const RegistryValue&) const = default;
};

// Values below HKEY_LOCAL_MACHINE; the installer writes text values only. Key
// paths are relative to it and use "\" as separator; key and value names are
// found without regard to case.
class Registry {
 public:
  virtual ~Registry() = default;

  // The text of a string value; nullopt when the key or the value does not
  // exist or the value is not text. Throws Failure when the store is unreadable.
  [[nodiscard]] virtual std::optional<std::string> readValue(std::string_view key,
                                                             std::string_view name) const = 0;

  // The value's type and bytes; nullopt when the key or the value does not
  // exist. Throws Failure when the store is unreadable.
  [[nodiscard]] virtual std::optional<RegistryValue> readRawValue(std::string_view key,
                                                                  std::string_view name) const = 0;

  // Sets a string value of an existing key; never creates a key. Returns
  // false when the key does not exist (a module the suite never registered).
  // Throws Failure (kRegistryStoreFailure) naming the store and the system's
  // reason when the change cannot be stored, and when the key, the name or
  // the text holds a character the store cannot keep.
  virtual bool writeValue(std::string_view key, std::string_view name, std::string_view text) = 0;

  // Sets a value of an existing key to `value`, whatever its type (an undo
  // putting back what a run wrote over); never creates a key. Returns false
  // when the key does not exist; throws as writeValue does, and when the
  // store cannot keep data of that type as it is.
  virtual bool writeRawValue(std::string_view key, std::string_view name,
                             const RegistryValue& value) = 0;

  // Removes a value of an existing key (an undo of a value a run made).
  // True when none is left; false when the key does not exist; throws
  // Failure when the change cannot be stored.
  virtual bool deleteValue(std::string_view key, std::string_view name) = 0;

  // Names of the key's direct subkeys, in the registry's order; nullopt when
  // the key does not exist.
  [[nodiscard]] virtual std::optional<std::vector<std::string>> subKeys(
      std::string_view key) const = 0;

  // Names of the key's values of every type ("" for the default value), in
  // the registry's order; nullopt when the key does not exist.
  [[nodiscard]] virtual std::optional<std::vector<std::string>> valueNames(
      std::string_view key) const = 0;

  // For the component catalog and the installer's own record only: create a key with its parents
  // (true: it exists afterwards) and delete a key with everything below it (false when there was
  // none). Both throw Failure as writeValue does when the store cannot keep the change.
  virtual bool createKey(std::string_view key) = 0;
  virtual bool deleteKey(std::string_view key) = 0;
};

// Forwards every call to another registry, so that a registry that records
// or fails some calls overrides those only.
class RegistryWrapper : public Registry {
 public:
  explicit RegistryWrapper(Registry& inner) : inner_(inner) {}

  [[nodiscard]] std::optional<std::string> readValue(std::string_view key,
                                                     std::string_view name) const override {
    return inner_.readValue(key, name);
  }
  [[nodiscard]] std::optional<RegistryValue> readRawValue(std::string_view key,
                                                          std::string_view name) const override {
    return inner_.readRawValue(key, name);
  }
  bool writeValue(std::string_view key, std::string_view name, std::string_view text) override {
    return inner_.writeValue(key, name, text);
  }
  bool writeRawValue(std::string_view key, std::string_view name,
                     const RegistryValue& value) override {
    return inner_.writeRawValue(key, name, value);
  }
  bool deleteValue(std::string_view key, std::string_view name) override {
    return inner_.deleteValue(key, name);
  }
  [[nodiscard]] std::optional<std::vector<std::string>> subKeys(
      std::string_view key) const override {
    return inner_.subKeys(key);
  }
  [[nodiscard]] std::optional<std::vector<std::string>> valueNames(
      std::string_view key) const override {
    return inner_.valueNames(key);
  }
  bool createKey(std::string_view key) override { return inner_.createKey(key); }
  bool deleteKey(std::string_view key) override { return inner_.deleteKey(key); }

 private:
  Registry& inner_;
};

#ifdef _WIN32
// The machine's own registry (HKEY_LOCAL_MACHINE, plain string values), each
// call opening and closing the key it needs.
class Win32Registry final : public Registry {
 public:
  [[nodiscard]] std::optional<std::string> readValue(std::string_view key,
                                                     std::string_view name) const override;
  [[nodiscard]] std::optional<RegistryValue> readRawValue(std::string_view key,
                                                          std::string_view name) const override;
  bool writeValue(std::string_view key, std::string_view name, std::string_view text) override;
  bool writeRawValue(std::string_view key, std::string_view name,
                     const RegistryValue& value) override;
  bool deleteValue(std::string_view key, std::string_view name) override;
  [[nodiscard]] std::optional<std::vector<std::string>> subKeys(
      std::string_view key) const override;
  [[nodiscard]] std::optional<std::vector<std::string>> valueNames(
      std::string_view key) const override;
  bool createKey(std::string_view key) override;
  bool deleteKey(std::string_view key) override;
};
#endif

}  // namespace qsi::platform
