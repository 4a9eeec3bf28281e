#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qsi::platform {

// Reads values of INI files as the platform's profile reader does: section
// and key names without regard to case, blanks around names and values
// trimmed, one pair of surrounding quotes removed, ";" comment lines, the
// first match wins, a value ends at a NUL, at most 319 characters returned.
// A UTF-8 byte-order mark is read past, and UTF-16 text with its mark is
// read as that reader reads it; its values come out as UTF-8. Parsed files are kept by path, size
// and modification time, so reading an unchanged file again costs no parse.
class ProfileReader {
 public:
  static constexpr std::size_t kMaxValueLength = 319;

  // While a snapshot lives, a file once read is not looked at again: one read
  // of a package sees each file as it was at its first use, at the cost of
  // one look at it, however many values it gives.
  class Snapshot {
   public:
    explicit Snapshot(ProfileReader& reader) : reader_(reader) {
      if (reader_.snapshots_++ == 0) ++reader_.snapshot_;
    }
    ~Snapshot() { --reader_.snapshots_; }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

   private:
    ProfileReader& reader_;
  };

  // The value of `key` in `section` of `file`; the empty text when the file,
  // the section or the key is missing or the file cannot be read.
  [[nodiscard]] std::string readIniValue(const std::filesystem::path& file,
                                         std::string_view section, std::string_view key);

  // Reads and keeps `file` now, so that the reads of its values to come cost
  // no parse; nothing when it is missing or cannot be read.
  void load(const std::filesystem::path& file) { (void)valuesOf(file); }

  // The values of INI text, first match wins. Names and values are views
  // into the text the object holds: a file of many sections costs one table
  // entry per value, not two strings.
  class Parsed {
   public:
    Parsed() = default;
    // `unicode`: the text is UTF-8 from a file with a byte-order mark, so
    // that a value is cut at a character, not at a byte.
    explicit Parsed(std::string text, bool unicode = false);

    [[nodiscard]] std::optional<std::string_view> find(std::string_view section,
                                                       std::string_view key) const;
    // Every value by lower-case "section\nkey".
    [[nodiscard]] std::map<std::string, std::string> all() const;
    // A value as the profile reader returns it: at most kMaxValueLength characters.
    [[nodiscard]] std::string_view returned(std::string_view value) const;

   private:
    // A name with its case-blind hash, taken once: the table compares
    // hashes before names.
    struct Name {
      Name(std::string_view section, std::string_view key);
      std::string_view section;
      std::string_view key;
      std::size_t hash;
    };
    struct CaseBlindHash {
      std::size_t operator()(const Name& name) const noexcept { return name.hash; }
    };
    struct CaseBlindEqual {
      bool operator()(const Name& a, const Name& b) const noexcept;
    };
    std::unique_ptr<const std::string> text_;  // apart, so that a move keeps the views
    bool unicode_ = false;
    std::unordered_map<Name, std::string_view, CaseBlindHash, CaseBlindEqual> values_;
  };
  // The values of a file's bytes, as the file's byte-order mark says to read them.
  [[nodiscard]] static Parsed parse(std::string bytes);

 private:
  struct Entry {
    bool read = false;
    std::uint64_t seenIn = 0;  // the snapshot that last looked at the file
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time{};
    Parsed values;
  };
  const Parsed& valuesOf(const std::filesystem::path& file);

  std::unordered_map<std::filesystem::path::string_type, Entry> cache_;
  int snapshots_ = 0;           // living snapshots
  std::uint64_t snapshot_ = 0;  // the one they share, counted from 1
};

}  // namespace qsi::platform
