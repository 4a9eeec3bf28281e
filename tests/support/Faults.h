#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/Failure.h"
#include "platform/FileReplacer.h"
#include "platform/OdbcConnection.h"
#include "platform/Registry.h"

namespace qsi::test {

// Connections that drop when `fails` says so of a statement (none when unset),
// or pass its time limit when `timesOut` is set.
class FaultyDatabases final : public platform::Databases {
 public:
  std::function<bool(std::string_view statement, int sent)> fails;
  bool timesOut = false;
  int sent = 0;

  [[nodiscard]] std::unique_ptr<platform::DatabaseConnection> connection() override;
};

// A registry whose writes throw as a full disk does when `fails` says so.
class FaultyRegistry final : public platform::Registry {
 public:
  explicit FaultyRegistry(platform::Registry& inner) : inner_(inner) {}
  std::function<bool(std::string_view key, std::string_view name)> fails;

  [[nodiscard]] std::optional<std::string> readValue(std::string_view key,
                                                     std::string_view name) const override {
    return inner_.readValue(key, name);
  }
  bool writeValue(std::string_view key, std::string_view name, std::string_view text) override {
    if (fails && fails(key, name))
      throw platform::Failure(platform::kRegistryStoreFailure, "test",
                              "The registry file cannot be written: No space left on device");
    return inner_.writeValue(key, name, text);
  }
  [[nodiscard]] std::optional<std::vector<std::string>> subKeys(
      std::string_view key) const override {
    return inner_.subKeys(key);
  }
  bool deleteValue(std::string_view key, std::string_view name) override {
    return inner_.deleteValue(key, name);
  }
  bool createKey(std::string_view key) override { return inner_.createKey(key); }
  bool deleteKey(std::string_view key) override { return inner_.deleteKey(key); }

 private:
  platform::Registry& inner_;
};

// The machine's replacer, but a placement `fails` gives an error is not put
// in place; `after` runs once the batch is.
class FaultyFileReplacer final : public platform::FileReplacer {
 public:
  std::function<std::string(const platform::Placement&)> fails;
  std::function<void(std::span<platform::Placement>)> after;

  void placeAll(std::span<platform::Placement> batch, const std::filesystem::path& staging,
                platform::AppendOnlyFile* record) override;

 private:
  platform::NativeFileReplacer inner_;
};

inline std::string diskFull(const std::filesystem::path& file) {
  return "cannot write " + file.string() + ": No space left on device";
}

}  // namespace qsi::test
