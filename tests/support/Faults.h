#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/FileReplacer.h"
#include "platform/OdbcConnection.h"
#include "platform/Registry.h"

// Platform services that forward every call and fail on cue, so that a test
// can inject the fault a server meets: a full disk, a registry that cannot be
// written, a database connection that drops.
namespace qsi::test {

// Connections to the machine's data sources whose statements fail when
// `fails` says so; it is asked with each statement and the number of
// statements sent before it on all connections.
class FaultyDatabases final : public platform::Databases {
 public:
  std::function<bool(std::string_view statement, int sent)> fails = [](auto, int) { return false; };
  int sent = 0;

  [[nodiscard]] std::unique_ptr<platform::DatabaseConnection> connection() override;
};

// A registry whose writes throw as a full disk does when `fails` says so.
class FaultyRegistry final : public platform::Registry {
 public:
  explicit FaultyRegistry(platform::Registry& inner) : inner_(inner) {}
  std::function<bool(std::string_view key, std::string_view name)> fails = [](auto, auto) {
    return false;
  };

  [[nodiscard]] std::optional<std::string> readValue(std::string_view key,
                                                     std::string_view name) const override {
    return inner_.readValue(key, name);
  }
  bool writeValue(std::string_view key, std::string_view name, std::string_view text) override;
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

// Puts files in place with the machine's replacer. `fails` is asked first of
// each placement of a batch: what it returns (a full disk at the Nth file)
// becomes that placement's error, and it is not put in place. `after` runs
// once the batch is in place (another program changing a file).
class FaultyFileReplacer final : public platform::FileReplacer {
 public:
  std::function<std::string(const platform::Placement&)> fails = [](const auto&) {
    return std::string();
  };
  std::function<void(std::span<platform::Placement>)> after = [](auto) {};

  void placeAll(std::span<platform::Placement> batch, const std::filesystem::path& staging,
                platform::AppendOnlyFile* record) override;

 private:
  platform::NativeFileReplacer inner_;
};

// The error a full disk gives.
inline std::string diskFull(const std::filesystem::path& file) {
  return "cannot write " + file.string() + ": No space left on device";
}

}  // namespace qsi::test
