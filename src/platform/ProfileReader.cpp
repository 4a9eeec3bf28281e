#include "platform/ProfileReader.h"

#include <system_error>

#include "platform/FileIO.h"
#include "platform/Text.h"

namespace qsi::platform {

namespace fs = std::filesystem;

namespace {

std::string lookupKey(std::string_view section, std::string_view key) {
  return toLower(trim(section)) + '\n' + toLower(trim(key));
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

std::string ProfileReader::readIniValue(const fs::path& file, std::string_view section,
                                        std::string_view key) {
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  if (ec) return {};
  const auto time = lastWriteTime(file, ec);
  if (ec) return {};
  auto [it, inserted] = cache_.try_emplace(file.string());
  Entry& entry = it->second;
  if (inserted || entry.size != size || entry.time != time) {
    try {
      entry.values = parse(readFileBytes(file));
    } catch (const std::system_error&) {
      cache_.erase(it);
      return {};
    }
    entry.size = size;
    entry.time = time;
  }
  const auto found = entry.values.find(lookupKey(section, key));
  if (found == entry.values.end()) return {};
  return found->second.substr(0, kMaxValueLength);
}

}  // namespace qsi::platform
