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
#include "platform/FileIO.h"
#include "platform/FileReplacer.h"
#include "platform/OdbcConnection.h"
#include "platform/Registry.h"

namespace qsi::test {

// Connections that drop when `fails` says so of a statement (none when
// unset), or without `drops` refuse the statement alone, or pass its time
// limit when `timesOut` is set.
class FaultyDatabases final : public platform::Databases {
 public:
  std::function<bool(std::string_view statement, int sent)> fails;
  bool timesOut = false;
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

// What `action` threw, or "" when it threw nothing.
inline std::string thrownText(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

// The error a full disk gives.
inline const std::error_code kDiskFull = std::make_error_code(std::errc::no_space_on_device);

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
  // Paths that lie on another file system than every other: a link or a
  // rename between one of them and any other fails as across file systems.
  std::function<bool(const std::filesystem::path&)> elsewhere;

 protected:
  int flush(int fd, Flush how) override {
    if (failingFlush != how) return PosixFileReplacer::flush(fd, how);
    errno = EIO;
    return -1;
  }
  int link(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return crosses(from, to) ? -1 : PosixFileReplacer::link(from, to);
  }
  int rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return crosses(from, to) ? -1 : PosixFileReplacer::rename(from, to);
  }

 private:
  bool crosses(const std::filesystem::path& from, const std::filesystem::path& to) const {
    if (!elsewhere || elsewhere(from) == elsewhere(to)) return false;
    errno = EXDEV;
    return true;
  }
#endif
};

// The machine's files, but every write and flush of a file that `full`
// holds true for fails as on a full disk.
class FaultyFiles final : public platform::WritableFiles {
 public:
  std::function<bool(const std::filesystem::path&)> full;
  // A write that fails writes its first half first, as a disk that fills up does.
  bool tearing = false;

  [[nodiscard]] std::unique_ptr<platform::AppendOnlyFile> openAppending(
      const std::filesystem::path& file, std::filesystem::perms mode) override {
    return std::make_unique<File>(WritableFiles::openAppending(file, mode), *this);
  }

 private:
  class File final : public platform::AppendOnlyFile {
   public:
    File(std::unique_ptr<platform::AppendOnlyFile> inner, const FaultyFiles& owner)
        : inner_(std::move(inner)), owner_(owner) {}
    void append(std::string_view bytes) override {
      if (owner_.tearing && owner_.full && owner_.full(path()))
        inner_->append(bytes.substr(0, bytes.size() / 2));
      check(), inner_->append(bytes);
    }
    void sync() override { check(), inner_->sync(); }
    [[nodiscard]] const std::filesystem::path& path() const override { return inner_->path(); }

   private:
    void check() const {
      if (owner_.full && owner_.full(path()))
        throw std::system_error(kDiskFull, "cannot write " + path().string());
    }
    std::unique_ptr<platform::AppendOnlyFile> inner_;
    const FaultyFiles& owner_;
  };
};

}  // namespace qsi::test
