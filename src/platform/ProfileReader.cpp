#include "platform/ProfileReader.h"

#include <algorithm>
#include <system_error>

#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/Unicode.h"

namespace qsi::platform {

namespace fs = std::filesystem;

namespace {

std::string_view unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

ProfileReader::Parsed::Name::Name(std::string_view sectionName, std::string_view keyName)
    : section(trim(sectionName)), key(trim(keyName)) {
  std::uint64_t value = 14695981039346656037u;  // FNV-1a over the lower-case bytes
  const auto add = [&value](std::string_view text) {
    for (const char c : text) {
      value ^= static_cast<unsigned char>(lowerChar(c));
      value *= 1099511628211u;
    }
  };
  add(section);
  add("\n");
  add(key);
  hash = static_cast<std::size_t>(value);
}

bool ProfileReader::Parsed::CaseBlindEqual::operator()(const Name& a,
                                                       const Name& b) const noexcept {
  return a.hash == b.hash && iequals(a.section, b.section) && iequals(a.key, b.key);
}

ProfileReader::Parsed::Parsed(std::string text, bool unicode)
    : text_(std::make_unique<const std::string>(std::move(text))), unicode_(unicode) {
  const std::string_view all(*text_);
  values_.reserve(static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n')) / 2);
  std::string_view section;
  bool inSection = false;
  std::size_t pos = 0;
  while (pos < all.size()) {
    auto end = all.find('\n', pos);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(pos, end - pos);
    pos = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    line = trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const auto close = line.find(']');
      section = close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
      inSection = true;
      continue;
    }
    const auto eq = line.find('=');
    if (!inSection || eq == std::string_view::npos) continue;
    // The value ends at a NUL, as the platform reader's text does.
    const std::string_view value = unquote(trim(line.substr(eq + 1)));
    values_.try_emplace(Name(section, line.substr(0, eq)), value.substr(0, value.find('\0')));
  }
}

std::optional<std::string_view> ProfileReader::Parsed::find(std::string_view section,
                                                            std::string_view key) const {
  const auto found = values_.find(Name(section, key));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

std::map<std::string, std::string> ProfileReader::Parsed::all() const {
  std::map<std::string, std::string> values;
  for (const auto& [name, value] : values_)
    values.emplace(toLower(name.section) + '\n' + toLower(name.key), value);
  return values;
}

std::string_view ProfileReader::Parsed::returned(std::string_view value) const {
  return unicode_ ? firstCharacters(value, kMaxValueLength) : value.substr(0, kMaxValueLength);
}

ProfileReader::Parsed ProfileReader::parse(std::string bytes) {
  if (encodingOf(bytes) == TextEncoding::Bytes) return Parsed(std::move(bytes));
  return Parsed(decodeText(bytes), true);
}

const ProfileReader::Parsed& ProfileReader::valuesOf(const fs::path& file) {
  Entry& entry = cache_[file.native()];
  if (snapshots_ > 0 && entry.seenIn == snapshot_) return entry.values;
  entry.seenIn = snapshots_ > 0 ? snapshot_ : 0;
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  const auto time = ec ? fs::file_time_type{} : lastWriteTime(file, ec);
  if (ec || !entry.read || entry.size != size || entry.time != time) {
    entry.read = false;
    entry.values = Parsed();
  }
  if (ec || entry.read) return entry.values;  // missing, or unchanged
  try {
    entry.values = parse(readFileBytes(file));
    entry.read = true;
    entry.size = size;
    entry.time = time;
  } catch (const std::system_error&) {
    entry.values = Parsed();  // unreadable: no values
  }
  return entry.values;
}

std::string ProfileReader::readIniValue(const fs::path& file, std::string_view section,
                                        std::string_view key) {
  const Parsed& values = valuesOf(file);
  const auto value = values.find(section, key);
  return value ? std::string(values.returned(*value)) : std::string();
}

}  // namespace qsi::platform
