#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace qsi::platform {

// The registry kept in a registry export file ("Windows Registry Editor
// Version 5.00"). Only HKEY_LOCAL_MACHINE is addressed; other content of the
// file is kept as it is. Every change is written to a temporary file, flushed
// and renamed over the old one under an advisory lock, so a crash leaves the
// old or the new file. A file that cannot be parsed is a Failure naming the
// line, and is never overwritten; a change that cannot be stored is a Failure
// naming the file and the system's reason.
class RegFileRegistry final : public Registry {
 public:
  explicit RegFileRegistry(std::filesystem::path file);

  // The file named by QSI_REGISTRY, else /etc/qsolutioninstaller/registry.reg.
  static std::filesystem::path defaultPath();

  [[nodiscard]] std::optional<std::string> readValue(std::string_view key,
                                                     std::string_view name) const override;
  bool writeValue(std::string_view key, std::string_view name, std::string_view text) override;
  [[nodiscard]] std::optional<std::vector<std::string>> subKeys(
      std::string_view key) const override;
  bool createKey(std::string_view key) override;
  bool deleteKey(std::string_view key) override;

  struct Value {
    std::string name;  // empty for the default value "@"
    bool isText = true;
    std::string data;  // the text, or the raw right-hand side of another type
  };
  struct Key {
    std::string path;  // full path, root included, as written in the file
    std::vector<Value> values;
  };
  struct Content {
    std::vector<Key> keys;
  };

  // Parse and print the file format (exposed for tests).
  static Content parse(std::string_view text, const std::filesystem::path& nameForErrors);
  static std::string print(const Content& content);

 private:
  const Content& load() const;
  template <typename Change>
  bool change(Change&& apply);

  std::filesystem::path file_;
  // Parsed file, read again only when its size or modification time changes.
  mutable std::optional<Content> cache_;
  mutable std::uintmax_t cachedSize_ = 0;
  mutable std::filesystem::file_time_type cachedTime_{};
};

}  // namespace qsi::platform
