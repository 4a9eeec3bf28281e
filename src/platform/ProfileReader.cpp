#include "platform/ProfileReader.h"

#include <system_error>

#include "platform/FileIO.h"
#include "platform/Text.h"

namespace qsi::platform {

namespace fs = std::filesystem;

namespace {

std::string lookupKey(std::string_view section, std::string_view key) {
  section = trim(section);
  key = trim(key);
  std::string text = toLower(section);  // one allocation for the whole key
  text.reserve(section.size() + 1 + key.size());
  text += '\n';
  text += toLower(key);
  return text;
}

std::string_view unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

ProfileReader::Parsed ProfileReader::parse(std::string_view text) {
  Parsed values;
  std::string section;
  bool inSection = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    line = trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const auto close = line.find(']');
      section =
          std::string(close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1));
      inSection = true;
      continue;
    }
    const auto eq = line.find('=');
    if (!inSection || eq == std::string_view::npos) continue;
    // The value ends at a NUL, as the platform reader's text does.
    const std::string_view value = unquote(trim(line.substr(eq + 1)));
    values.try_emplace(lookupKey(section, line.substr(0, eq)),
                       std::string(value.substr(0, value.find('\0'))));
  }
  return values;
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
    entry.values.clear();
  }
  if (ec || entry.read) return entry.values;  // missing, or unchanged
  try {
    entry.values = parse(readFileBytes(file));
    entry.read = true;
    entry.size = size;
    entry.time = time;
  } catch (const std::system_error&) {
    entry.values.clear();  // unreadable: no values
  }
  return entry.values;
}

std::string ProfileReader::readIniValue(const fs::path& file, std::string_view section,
                                        std::string_view key) {
  const Parsed& values = valuesOf(file);
  const auto found = values.find(lookupKey(section, key));
  if (found == values.end()) return {};
  return found->second.substr(0, kMaxValueLength);
}

}  // namespace qsi::platform
