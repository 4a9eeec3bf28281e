#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace qsi::platform {

// The registry kept in a registry export file ("Windows Registry Editor
// Version 5.00" or "REGEDIT4"; ANSI, UTF-8 or UTF-16 LE with its byte-order
// mark). Only HKEY_LOCAL_MACHINE is addressed. The file is shared with other
// programs: whatever the installer does not change is written back byte for
// byte, in the file's encoding and line ends. Every change is checked to
// parse back to the same content, then written to a temporary file, flushed
// and renamed over the old one under an advisory lock, so a crash leaves the
// old or the new file; a change that cannot be stored is a Failure naming
// the file and the reason. A file that cannot be parsed, or that holds a key
// or a value twice (which regedit never exports, and which would be read at
// its first copy while an import keeps the last), is a Failure naming the
// lines, and is never overwritten. Text read from a UTF-16 file comes out as
// UTF-8, from any other as the file's own bytes.
class RegFileRegistry final : public Registry {
 public:
  explicit RegFileRegistry(std::filesystem::path file);

  // The file named by QSI_REGISTRY, else /etc/qsolutioninstaller/registry.reg.
  static std::filesystem::path defaultPath();

  [[nodiscard]] std::optional<std::string> readValue(std::string_view key,
                                                     std::string_view name) const override;
  // A text value's bytes are those hex(1): would list in this file: UTF-16 LE
  // in a version 5 file (a text that is no UTF-8 taken for Latin-1), the
  // file's bytes in a REGEDIT4 one. Throws Failure for data of a form regedit
  // does not import.
  [[nodiscard]] std::optional<RegistryValue> readRawValue(std::string_view key,
                                                          std::string_view name) const override;
  bool writeValue(std::string_view key, std::string_view name, std::string_view text) override;
  // Text whose bytes read back as written goes in quotes, a DWORD as
  // "dword:", anything else as "hex(N):" bytes, as regedit exports them.
  bool writeRawValue(std::string_view key, std::string_view name,
                     const RegistryValue& value) override;
  bool deleteValue(std::string_view key, std::string_view name) override;
  [[nodiscard]] std::optional<std::vector<std::string>> subKeys(
      std::string_view key) const override;
  [[nodiscard]] std::optional<std::vector<std::string>> valueNames(
      std::string_view key) const override;
  bool createKey(std::string_view key) override;
  bool deleteKey(std::string_view key) override;

  enum class Encoding { Bytes, Utf8WithMark, Utf16WithMark };

  // Text below is in the file's own bytes, UTF-16 turned into WTF-8 so that
  // even a lone surrogate comes back as it was. `before` holds the comment and
  // blank lines ahead of an entry, `lines` the entry's own lines, each with
  // its line end; both are empty for an entry the installer made, which is
  // printed anew.
  struct Value {
    std::string name;    // empty for the default value "@"
    bool isText = true;  // a string value as regedit imports it
    bool quoted = true;  // data is the text between quotes, else the listing of another type
    std::string data;    // the text, or the right-hand side of another type
    std::string before;
    std::string lines;
  };
  struct Key {
    std::string path;  // full path, root included, as written in the file
    std::vector<Value> values;
    std::string before;
    std::string lines;
  };
  struct Content {
    Encoding encoding = Encoding::Bytes;
    std::string lineEnd = "\r\n";  // the file's first, for lines printed anew
    std::string header;            // up to and with the header line; empty in an empty file
    std::vector<Key> keys;
    std::string trailer;  // comment and blank lines after the last entry
  };

  // The file's raw bytes to their content and back: print(parse(bytes)) ==
  // bytes for every file that parses.
  static Content parse(std::string_view bytes, const std::filesystem::path& nameForErrors);
  static std::string print(const Content& content);

  // Sets a string value of an existing key in `content` as writeValue does:
  // false when the key does not exist; a Failure when the key, the name or
  // the text holds a character the file cannot keep (CR, LF, NUL).
  static bool setValue(Content& content, std::string_view key, std::string_view name,
                       std::string_view text);

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
