#include "platform/RegFileRegistry.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/Text.h"

namespace qsi::platform {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

[[noreturn]] void malformed(const fs::path& file, std::size_t line, const std::string& why) {
  throw Failure(kRegistryStoreFailure, "RegFileRegistry",
                "The registry file " + file.string() + " cannot be read: line " +
                    std::to_string(line) + ": " + why);
}

// "HKEY_LOCAL_MACHINE\" + key, without trailing separators.
std::string fullPath(std::string_view key) {
  while (key.ends_with('\\')) key.remove_suffix(1);
  std::string path(kRoot);
  if (!key.empty()) path.append("\\").append(key);
  return path;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the
// closing quote. Returns nullopt when the closing quote is missing.
std::optional<std::string> readQuoted(std::string_view text, std::size_t& pos) {
  std::string out;
  for (++pos; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c == '\\' && pos + 1 < text.size()) ++pos;
    out.push_back(text[pos]);
  }
  return std::nullopt;
}

std::string quote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

RegFileRegistry::Value parseValue(std::string_view line, const fs::path& file, std::size_t lineNo) {
  RegFileRegistry::Value value;
  std::size_t pos = 0;
  if (line[0] == '@') {
    pos = 1;
  } else {
    auto name = readQuoted(line, pos);
    if (!name) malformed(file, lineNo, "the value name has no closing quote");
    value.name = std::move(*name);
  }
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  if (pos >= line.size() || line[pos] != '=') malformed(file, lineNo, "'=' expected");
  ++pos;
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  const std::string_view rest = line.substr(pos);
  if (rest.empty()) malformed(file, lineNo, "the value has no data");
  if (rest == "-") malformed(file, lineNo, "value deletion is not supported in the store");
  if (rest[0] == '"') {
    std::size_t qpos = 0;
    auto data = readQuoted(rest, qpos);
    if (!data) malformed(file, lineNo, "the value has no closing quote");
    if (!trim(rest.substr(qpos)).empty()) malformed(file, lineNo, "text after the closing quote");
    value.data = std::move(*data);
  } else {
    const auto colon = rest.find(':');
    if (colon == std::string_view::npos || colon == 0)
      malformed(file, lineNo, "unknown value type");
    value.isText = false;
    value.data = std::string(trim(rest));
  }
  return value;
}

std::optional<std::size_t> findKey(const RegFileRegistry::Content& content, std::string_view path) {
  for (std::size_t i = 0; i < content.keys.size(); ++i)
    if (iequals(content.keys[i].path, path)) return i;
  return std::nullopt;
}

bool isBelow(std::string_view path, std::string_view parent) {
  return path.size() > parent.size() + 1 && path[parent.size()] == '\\' &&
         iequals(path.substr(0, parent.size()), parent);
}

// A key exists when it is written, or when a key below it is (regedit creates
// the parents of every key it imports).
bool keyExists(const RegFileRegistry::Content& content, std::string_view path) {
  return std::any_of(content.keys.begin(), content.keys.end(), [&](const auto& key) {
    return iequals(key.path, path) || isBelow(key.path, path);
  });
}

}  // namespace

RegFileRegistry::RegFileRegistry(fs::path file) : file_(std::move(file)) {}

fs::path RegFileRegistry::defaultPath() {
  if (const char* env = std::getenv("QSI_REGISTRY"); env != nullptr && *env != '\0') return {env};
  return "/etc/qsolutioninstaller/registry.reg";
}

RegFileRegistry::Content RegFileRegistry::parse(std::string_view text, const fs::path& file) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  if (text.starts_with("\xFF\xFE"))
    malformed(file, 1, "UTF-16 text is not supported; save the file as ANSI or UTF-8");
  Content content;
  bool sawHeader = false;
  std::size_t lineNo = 0;
  std::string pending;  // a value continued over several lines ("\" at the end)
  std::size_t pendingLine = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    auto end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!pending.empty()) {
      pending.append(trim(line));
      if (pending.ends_with('\\')) continue;
      content.keys.back().values.push_back(parseValue(pending, file, pendingLine));
      pending.clear();
      continue;
    }
    const std::string_view trimmed = trim(line);
    if (trimmed.empty() || trimmed.starts_with(';')) continue;
    if (!sawHeader) {
      if (trimmed != kHeader && trimmed != kHeader4)
        malformed(file, lineNo, "the first line must be \"" + std::string(kHeader) + "\"");
      sawHeader = true;
      continue;
    }
    if (trimmed.starts_with('[')) {
      if (!trimmed.ends_with(']') || trimmed.size() < 3)
        malformed(file, lineNo, "a key line must end with ']'");
      if (trimmed[1] == '-') malformed(file, lineNo, "key deletion is not supported in the store");
      content.keys.push_back(Key{std::string(trimmed.substr(1, trimmed.size() - 2)), {}});
      continue;
    }
    if (trimmed[0] != '"' && trimmed[0] != '@')
      malformed(file, lineNo, "a key in brackets or a value \"name\"=... expected");
    if (content.keys.empty()) malformed(file, lineNo, "a value before the first key");
    if (trimmed.ends_with('\\')) {
      pending = std::string(trimmed);
      pendingLine = lineNo;
      continue;
    }
    content.keys.back().values.push_back(parseValue(trimmed, file, lineNo));
  }
  if (!pending.empty()) malformed(file, pendingLine, "the continued value has no end");
  if (!sawHeader && !content.keys.empty()) malformed(file, 1, "the header line is missing");
  return content;
}

std::string RegFileRegistry::print(const Content& content) {
  std::string out(kHeader);
  out.append("\r\n\r\n");
  for (const Key& key : content.keys) {
    out.append("[").append(key.path).append("]\r\n");
    for (const Value& value : key.values) {
      out.append(value.name.empty() ? std::string("@") : quote(value.name)).append("=");
      out.append(value.isText ? quote(value.data) : value.data).append("\r\n");
    }
    out.append("\r\n");
  }
  return out;
}

const RegFileRegistry::Content& RegFileRegistry::load() const {
  std::error_code ec;
  const auto size = fs::file_size(file_, ec);
  if (ec) {  // no file yet: an empty registry
    cache_ = Content{};
    cachedSize_ = 0;
    cachedTime_ = {};
    return *cache_;
  }
  const auto time = lastWriteTime(file_, ec);
  if (cache_ && size == cachedSize_ && time == cachedTime_) return *cache_;
  std::string text;
  try {
    text = readFileBytes(file_);
  } catch (const std::system_error& e) {
    throw Failure(kRegistryStoreFailure, "RegFileRegistry",
                  "The registry file cannot be read: " + std::string(e.what()));
  }
  cache_ = parse(text, file_);
  cachedSize_ = size;
  cachedTime_ = time;
  return *cache_;
}

std::optional<std::string> RegFileRegistry::readValue(std::string_view key,
                                                      std::string_view name) const {
  const Content& content = load();
  const auto index = findKey(content, fullPath(key));
  if (!index) return std::nullopt;
  for (const Value& value : content.keys[*index].values)
    if (iequals(value.name, name)) return value.isText ? std::optional(value.data) : std::nullopt;
  return std::nullopt;
}

std::optional<std::vector<std::string>> RegFileRegistry::subKeys(std::string_view key) const {
  const Content& content = load();
  const std::string path = fullPath(key);
  if (!keyExists(content, path)) return std::nullopt;
  std::vector<std::string> names;
  for (const Key& k : content.keys) {
    if (!isBelow(k.path, path)) continue;
    const std::string_view rest = std::string_view(k.path).substr(path.size() + 1);
    const std::string name(rest.substr(0, rest.find('\\')));
    if (std::none_of(names.begin(), names.end(), [&](const auto& n) { return iequals(n, name); }))
      names.push_back(name);
  }
  // The registry enumerates subkeys in name order, without regard to case.
  std::stable_sort(names.begin(), names.end(),
                   [](const auto& a, const auto& b) { return ilessThan(a, b); });
  return names;
}

template <typename Change>
bool RegFileRegistry::change(Change&& apply) {
  try {
    const FileLock lock(fs::path(file_.string() + ".lock"));
    cache_.reset();  // another process may have changed the file
    Content content = load();
    if (!apply(content)) return false;
    writeFileAtomically(file_, print(content));
  } catch (const std::system_error& e) {
    throw Failure(kRegistryStoreFailure, "RegFileRegistry",
                  "The registry file " + file_.string() + " cannot be written: " + e.what());
  }
  cache_.reset();
  return true;
}

bool RegFileRegistry::writeValue(std::string_view key, std::string_view name,
                                 std::string_view text) {
  const std::string path = fullPath(key);
  // A key that does not exist needs no lock: its folder may not even exist.
  if (!keyExists(load(), path)) return false;
  return change([&](Content& content) {
    if (!keyExists(content, path)) return false;
    auto index = findKey(content, path);
    if (!index) {
      content.keys.push_back(Key{path, {}});
      index = content.keys.size() - 1;
    }
    auto& values = content.keys[*index].values;
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const Value& v) { return iequals(v.name, name); });
    if (it != values.end()) {
      it->isText = true;
      it->data = std::string(text);
    } else {
      values.push_back(Value{std::string(name), true, std::string(text)});
    }
    return true;
  });
}

bool RegFileRegistry::createKey(std::string_view key) {
  const std::string path = fullPath(key);
  return change([&](Content& content) {
    if (!findKey(content, path)) content.keys.push_back(Key{path, {}});
    return true;
  });
}

bool RegFileRegistry::deleteKey(std::string_view key) {
  const std::string path = fullPath(key);
  if (!keyExists(load(), path)) return false;
  return change([&](Content& content) {
    if (!keyExists(content, path)) return false;
    std::erase_if(content.keys,
                  [&](const Key& k) { return iequals(k.path, path) || isBelow(k.path, path); });
    // The parent stays, as in the registry, even when it was only implied.
    const std::string parent = path.substr(0, path.rfind('\\'));
    if (parent != kRoot && !keyExists(content, parent)) content.keys.push_back(Key{parent, {}});
    return true;
  });
}

}  // namespace qsi::platform
