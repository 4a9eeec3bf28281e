#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/Failure.h"
#include "platform/FileReplacer.h"
#include "platform/OdbcConnection.h"
#include "platform/Registry.h"

namespace qsi::test {

// Connections that drop when `fails` says so of a statement (none when
// unset), or without `drops` refuse the statement alone.
class FaultyDatabases final : public platform::Databases {
 public:
  std::function<bool(std::string_view statement, int sent)> fails;
  int sent = 0;
  bool drops = true;

  [[nodiscard]] std::unique_ptr<platform::DatabaseConnection> connection() override;
};

// A registry whose writes throw as a full disk does when `fails` says so.
class FaultyRegistry final : public platform::RegistryWrapper {
 public:
  using RegistryWrapper::RegistryWrapper;
  std::function<bool(std::string_view key, std::string_view name)> fails;

  bool writeValue(std::string_view key, std::string_view name, std::string_view text) override {
    if (fails && fails(key, name))
      throw platform::Failure(platform::kRegistryStoreFailure, "test",
                              "The registry file cannot be written: No space left on device");
    return RegistryWrapper::writeValue(key, name, text);
  }
};

// The machine's replacer, but a placement `fails` gives an error is not put
// in place, and where the disk flushes, a flush of the kind `failingFlush`
// fails; `after` runs once the batch is.
class FaultyFileReplacer final : public platform::NativeFileReplacer {
 public:
  std::function<std::string(const platform::Placement&)> fails;
  std::function<void(std::span<platform::Placement>)> after;

  void placeAll(std::span<platform::Placement> batch, const std::filesystem::path& staging,
                platform::AppendOnlyFile* record) override;
#ifndef _WIN32
  std::optional<Flush> failingFlush;

 protected:
  int flush(int fd, Flush how) override {
    if (failingFlush != how) return PosixFileReplacer::flush(fd, how);
    errno = EIO;
    return -1;
  }
#endif
};

inline std::string diskFull(const std::filesystem::path& file) {
  return "cannot write " + file.string() + ": No space left on device";
}

}  // namespace qsi::test
