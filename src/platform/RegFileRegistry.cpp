#include "platform/RegFileRegistry.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/Unicode.h"

namespace qsi::platform {

namespace fs = std::filesystem;

namespace {

using Content = RegFileRegistry::Content;
using Key = RegFileRegistry::Key;
using Value = RegFileRegistry::Value;

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

[[noreturn]] void storeFailure(std::string description) {
  throw Failure(kRegistryStoreFailure, "RegFileRegistry", std::move(description));
}

[[noreturn]] void unreadable(const fs::path& file, const std::string& why) {
  storeFailure("The registry file " + file.string() + " cannot be read: " + why);
}

[[noreturn]] void malformed(const fs::path& file, std::size_t line, const std::string& why) {
  unreadable(file, "line " + std::to_string(line) + ": " + why);
}

// "HKEY_LOCAL_MACHINE\" + key, without trailing separators.
std::string fullPath(std::string_view key) {
  while (key.ends_with('\\')) key.remove_suffix(1);
  std::string path(kRoot);
  if (!key.empty()) path.append("\\").append(key);
  return path;
}

// WTF-8 to UTF-16 LE; a byte that starts no character is a Failure. An
// overlong or out-of-range sequence does not read back the same, which the
// check of every printed file finds.
std::string toUtf16(std::string_view text) {
  auto units = utf8ToUtf16(text);
  if (!units) storeFailure("a text to be written is not UTF-8, as UTF-16 text must be.");
  return std::move(*units);
}

// Reads a quoted string starting at text[pos] == '"' as regedit imports it:
// "\\" and "\"" stand for themselves, "\n" and "\r" for LF and CR, and any
// other character after "\" for itself (regedit warns and drops the
// backslash). "\0" gives a NUL and sets `nul`: regedit ends its import there.
// pos ends after the closing quote; nullopt when there is none.
std::optional<std::string> readQuoted(std::string_view text, std::size_t& pos, bool& nul) {
  std::string out;
  for (++pos; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c == '\\' && pos + 1 < text.size()) {
      c = text[++pos];
      if (c == 'n') c = '\n';
      if (c == 'r') c = '\r';
      if (c == '0') c = '\0';
      nul = nul || c == '\0';
    }
    out.push_back(c);
  }
  return std::nullopt;
}

// Only "\" and the quote need escaping: CR, LF and NUL never get this far.
std::string quote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string_view withoutLineEnd(std::string_view line) {
  if (line.ends_with('\n')) line.remove_suffix(1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

bool isTrivia(std::string_view trimmed) {
  return trimmed.empty() || trimmed.starts_with(';') || trimmed.starts_with('#');
}

// The value's first line. Data of a type other than text may go on over the
// following lines, each line but the last ending in "\": `continues` tells.
Value parseValue(std::string_view line, const fs::path& file, std::size_t lineNo, bool& continues) {
  Value value;
  std::size_t pos = 0;
  bool nul = false;
  if (line[0] == '@') {
    pos = 1;
  } else {
    auto name = readQuoted(line, pos, nul);
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
    auto data = readQuoted(rest, qpos, nul);
    if (!data) malformed(file, lineNo, "the value has no closing quote");
    if (!isTrivia(trim(rest.substr(qpos)))) malformed(file, lineNo, "text after the closing quote");
    value.data = std::move(*data);
    value.isText = !nul;
  } else {
    const auto colon = rest.find(':');
    if (colon == std::string_view::npos || colon == 0)
      malformed(file, lineNo, "unknown value type");
    value.isText = false;
    value.quoted = false;
    value.data = std::string(trim(rest));
    continues = value.data.ends_with('\\');
    if (continues) value.data.pop_back();
  }
  return value;
}

std::optional<std::size_t> findKey(const Content& content, std::string_view path) {
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
bool keyExists(const Content& content, std::string_view path) {
  return std::any_of(content.keys.begin(), content.keys.end(), [&](const auto& key) {
    return iequals(key.path, path) || isBelow(key.path, path);
  });
}

// A new key goes after the last key; comments at the end of the file stay
// there.
Key& appendKey(Content& content, std::string path) {
  Key& key = content.keys.emplace_back();
  key.path = std::move(path);
  return key;
}

// The comment lines of `lines`, without the blank ones.
std::string commentLines(std::string_view lines) {
  std::string comments;
  while (!lines.empty()) {
    const auto end = std::min(lines.find('\n'), lines.size() - 1) + 1;
    if (!trim(withoutLineEnd(lines.substr(0, end))).empty()) comments.append(lines.substr(0, end));
    lines.remove_prefix(end);
  }
  return comments;
}

bool sameContent(const Content& a, const Content& b) {
  const auto sameValue = [](const Value& x, const Value& y) {
    return x.name == y.name && x.isText == y.isText && x.quoted == y.quoted && x.data == y.data;
  };
  const auto sameKey = [&](const Key& x, const Key& y) {
    return x.path == y.path && std::equal(x.values.begin(), x.values.end(), y.values.begin(),
                                          y.values.end(), sameValue);
  };
  return std::equal(a.keys.begin(), a.keys.end(), b.keys.begin(), b.keys.end(), sameKey);
}

// "\x0A" for a byte that would not show.
std::string visible(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20) {
      out.push_back(c);
      continue;
    }
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    out.append("\\x").append(1, kDigits[byte >> 4]).append(1, kDigits[byte & 0xF]);
  }
  return out;
}

// CR and LF would end the line, and regedit stops its import at a NUL: a key
// path, value name or text holding one would not read back from the file.
void checkStorable(std::string_view key, std::optional<std::string_view> name,
                   std::string_view text) {
  constexpr std::string_view kUnstorable("\r\n\0", 3);
  const std::pair<std::string_view, std::string_view> parts[] = {
      {"the key path", key}, {"the value name", name.value_or("")}, {"the text", text}};
  for (const auto& [part, piece] : parts) {
    const auto at = piece.find_first_of(kUnstorable);
    if (at == std::string_view::npos) continue;
    storeFailure(
        (name ? "The registry value \"" + visible(*name) + "\" of key " : "The registry key ") +
        visible(fullPath(key)) + " cannot be stored: " + std::string(part) +
        " holds the character " + visible(piece.substr(at, 1)) + ".");
  }
}

// The content as the file's bytes, once they are known to parse back to it.
std::string printChecked(const Content& content, const fs::path& file) {
  std::string why = "the changed file would not read back the same.";
  try {
    std::string printed = RegFileRegistry::print(content);
    if (sameContent(RegFileRegistry::parse(printed, file), content)) return printed;
  } catch (const Failure& failure) {
    why = failure.description();
  }
  storeFailure("The registry file " + file.string() + " is left as it was: " + why);
}

// The line of each name met so far, names compared without regard to case
// as the registry compares them.
using LinesByName = std::unordered_map<std::string, std::size_t>;

// A key or value named a second time: regedit never exports one, and an
// import would keep the last copy while a read finds the first.
void refuseSecond(LinesByName& lines, std::string_view name, std::size_t lineNo,
                  const std::string& what, const fs::path& file) {
  const auto [first, isNew] = lines.try_emplace(toLower(name), lineNo);
  if (!isNew)
    malformed(file, lineNo,
              what + " is there twice, on lines " + std::to_string(first->second) + " and " +
                  std::to_string(lineNo));
}

bool isRegedit4(const Content& content) {
  std::string_view header = withoutLineEnd(content.header);
  header.remove_prefix(std::min(header.size(), header.rfind('\n') + 1));
  return trim(header) == kHeader4;
}

// A text's bytes as hex(1): would list them in the file, with the ending NUL.
RegistryValue textValue(const Content& content, std::string_view text) {
  if (isRegedit4(content)) return {kRegSz, std::string(text) + '\0'};
  std::optional<std::string> units = utf8ToUtf16(text);
  if (!units) {  // ANSI text, taken for Latin-1
    units.emplace();
    for (const char c : text) units->append({c, '\0'});
  }
  units->append(2, '\0');
  return {kRegSz, std::move(*units)};
}

// The bytes of "dword:" (up to eight hex digits), "hex:" or "hex(N):" (hex
// bytes between commas); nullopt for data of any other form.
std::optional<RegistryValue> listedValue(std::string_view data) {
  const auto hexNumber = [](std::string_view digits, std::size_t most, std::uint32_t& number) {
    digits = trim(digits);
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
    return !digits.empty() && digits.size() <= most && ec == std::errc() &&
           end == digits.data() + digits.size();
  };
  const auto colon = data.find(':');
  const std::string kind = toLower(trim(data.substr(0, colon)));
  const std::string_view rest = data.substr(colon + 1);
  RegistryValue value{kRegBinary, {}};
  if (kind == "dword") {
    std::uint32_t number = 0;
    if (!hexNumber(rest, 8, number)) return std::nullopt;
    for (int shift = 0; shift < 32; shift += 8)
      value.data.push_back(static_cast<char>((number >> shift) & 0xFF));
    return RegistryValue{kRegDword, std::move(value.data)};
  }
  if (kind != "hex" &&
      !(kind.starts_with("hex(") && kind.ends_with(')') &&
        hexNumber(std::string_view(kind).substr(4, kind.size() - 5), 8, value.type)))
    return std::nullopt;
  const std::vector<std::string> bytes = split(rest, ',');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::uint32_t byte = 0;
    if (i + 1 == bytes.size() && trim(bytes[i]).empty()) break;  // after a last comma
    if (!hexNumber(bytes[i], 2, byte)) return std::nullopt;
    value.data.push_back(static_cast<char>(byte));
  }
  return value;
}

const Value* findValue(const Content& content, std::string_view key, std::string_view name) {
  const auto index = findKey(content, fullPath(key));
  if (!index) return nullptr;
  for (const Value& value : content.keys[*index].values)
    if (iequals(value.name, name)) return &value;
  return nullptr;
}

}  // namespace

RegFileRegistry::RegFileRegistry(fs::path file) : file_(std::move(file)) {}

fs::path RegFileRegistry::defaultPath() {
  if (const char* env = std::getenv("QSI_REGISTRY"); env != nullptr && *env != '\0') return {env};
  return "/etc/qsolutioninstaller/registry.reg";
}

Content RegFileRegistry::parse(std::string_view bytes, const fs::path& file) {
  Content content;
  std::string decoded;
  std::string_view text = bytes;
  const TextEncoding encoding = encodingOf(bytes);
  if (encoding == TextEncoding::Utf16Le) {
    if (bytes.size() % 2 != 0) unreadable(file, "the UTF-16 text ends in half a character");
    content.encoding = Encoding::Utf16WithMark;
    decoded = utf16ToUtf8(bytes.substr(kUtf16LeMark.size()));
    text = decoded;
  } else if (encoding == TextEncoding::Utf16Be) {
    unreadable(file, "UTF-16 big endian text is not supported; save it as UTF-16 LE or ANSI");
  } else if (encoding == TextEncoding::Utf8WithMark) {
    content.encoding = Encoding::Utf8WithMark;
    text.remove_prefix(kUtf8Mark.size());
  }
  if (const auto end = text.find('\n'); end != std::string_view::npos)
    content.lineEnd = end > 0 && text[end - 1] == '\r' ? "\r\n" : "\n";

  bool sawHeader = false;
  std::string trivia;          // comment and blank lines not yet given to an entry
  Value* continued = nullptr;  // a value whose last line ended in "\"
  std::size_t continuedLine = 0;
  std::size_t lineNo = 0;
  LinesByName keyLines;    // every key's line
  LinesByName valueLines;  // the line of each value of the last key
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t end = std::min(text.find('\n', pos), text.size() - 1) + 1;
    const std::string_view raw = text.substr(pos, end - pos);
    pos = end;
    ++lineNo;
    const std::string_view trimmed = trim(withoutLineEnd(raw));
    if (continued != nullptr) {
      continued->lines.append(raw);
      if (isTrivia(trimmed)) continue;  // regedit reads on past comments
      continued->data.append(trimmed);
      if (continued->data.ends_with('\\'))
        continued->data.pop_back();
      else
        continued = nullptr;
      continue;
    }
    if (isTrivia(trimmed)) {
      trivia.append(raw);
      continue;
    }
    if (!sawHeader) {
      if (trimmed != kHeader && trimmed != kHeader4)
        malformed(file, lineNo, "the first line must be \"" + std::string(kHeader) + "\"");
      sawHeader = true;
      content.header = std::exchange(trivia, {}).append(raw);
      continue;
    }
    if (trimmed.starts_with('[')) {
      if (!trimmed.ends_with(']') || trimmed.size() < 3)
        malformed(file, lineNo, "a key line must end with ']'");
      if (trimmed[1] == '-') malformed(file, lineNo, "key deletion is not supported in the store");
      Key& key = content.keys.emplace_back();
      key.path = std::string(trimmed.substr(1, trimmed.size() - 2));
      key.before = std::exchange(trivia, {});
      key.lines = std::string(raw);
      refuseSecond(keyLines, key.path, lineNo, "the key " + visible(key.path), file);
      valueLines.clear();
      continue;
    }
    if (trimmed[0] != '"' && trimmed[0] != '@')
      malformed(file, lineNo, "a key in brackets or a value \"name\"=... expected");
    if (content.keys.empty()) malformed(file, lineNo, "a value before the first key");
    bool continues = false;
    Value& value =
        content.keys.back().values.emplace_back(parseValue(trimmed, file, lineNo, continues));
    value.before = std::exchange(trivia, {});
    value.lines = std::string(raw);
    refuseSecond(
        valueLines, value.name, lineNo,
        "the value \"" + visible(value.name) + "\" of key " + visible(content.keys.back().path),
        file);
    if (continues) {
      continued = &value;
      continuedLine = lineNo;
    }
  }
  if (continued != nullptr) malformed(file, continuedLine, "the continued value has no end");
  content.trailer = std::move(trivia);
  return content;
}

std::string RegFileRegistry::print(const Content& content) {
  const std::string_view lineEnd = content.lineEnd;
  std::string out = content.header;
  if (out.empty() && !content.keys.empty()) out.append(kHeader).append(lineEnd);
  // A line printed anew starts on a line of its own, even after a last line
  // that had no line end; a last line that ended in a lone CR only lacks the
  // LF (another CR would become part of that line).
  const auto startLine = [&] {
    if (!out.empty() && !out.ends_with('\n')) out.append(out.ends_with('\r') ? "\n" : lineEnd);
  };
  for (const Key& key : content.keys) {
    out.append(key.before);
    if (key.lines.empty()) {  // after a blank line, as regedit writes keys
      startLine();
      out.append(lineEnd).append("[").append(key.path).append("]").append(lineEnd);
    }
    out.append(key.lines);
    for (const Value& value : key.values) {
      out.append(value.before);
      if (value.lines.empty()) {
        startLine();
        out.append(value.name.empty() ? std::string("@") : quote(value.name)).append("=");
        out.append(value.isText ? quote(value.data) : value.data).append(lineEnd);
      }
      out.append(value.lines);
    }
  }
  out.append(content.trailer);
  switch (content.encoding) {
    case Encoding::Utf16WithMark:
      return std::string(kUtf16LeMark) + toUtf16(out);
    case Encoding::Utf8WithMark:
      return std::string(kUtf8Mark) + out;
    case Encoding::Bytes:
      break;
  }
  return out;
}

namespace {

// Sets the value, printed anew, in an existing key; false when there is none.
bool putValue(Content& content, std::string_view key, std::string_view name, bool isText,
              std::string data) {
  const std::string path = fullPath(key);
  if (!keyExists(content, path)) return false;
  const auto index = findKey(content, path);
  auto& values = (index ? content.keys[*index] : appendKey(content, path)).values;
  auto it = std::find_if(values.begin(), values.end(),
                         [&](const Value& v) { return iequals(v.name, name); });
  if (it == values.end()) {
    it = values.insert(values.end(), Value{});
    it->name = std::string(name);
  }
  it->isText = isText;
  it->quoted = isText;
  it->data = std::move(data);
  it->lines.clear();
  return true;
}

// The text whose bytes are the value's in this file, when there is one
// that a quoted string can hold.
std::optional<std::string> quotableText(const Content& content, const RegistryValue& value) {
  std::string text;
  if (isRegedit4(content)) {
    if (!value.data.ends_with('\0')) return std::nullopt;
    text = value.data.substr(0, value.data.size() - 1);
  } else {
    if (value.data.size() < 2 || value.data.size() % 2 != 0) return std::nullopt;
    text = utf16ToUtf8(std::string_view(value.data).substr(0, value.data.size() - 2));
  }
  if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos ||
      textValue(content, text) != value)
    return std::nullopt;
  return text;
}

// "dword:0000002a" for a DWORD, "hex(2):25,00,..." for any other data.
std::string listingOf(const RegistryValue& value) {
  char text[16];
  if (value.type == kRegDword && value.data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i)
      number = (number << 8) | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
    std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(number));
    return text;
  }
  std::snprintf(text, sizeof text, "hex(%x):", static_cast<unsigned>(value.type));
  std::string out = value.type == kRegBinary ? "hex:" : text;
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(text, sizeof text, i == 0 ? "%02x" : ",%02x",
                  static_cast<unsigned>(static_cast<unsigned char>(value.data[i])));
    out += text;
  }
  return out;
}

}  // namespace

bool RegFileRegistry::setValue(Content& content, std::string_view key, std::string_view name,
                               std::string_view text) {
  checkStorable(key, name, text);
  return putValue(content, key, name, true, std::string(text));
}

const Content& RegFileRegistry::load() const {
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
    unreadable(file_, e.what());
  }
  cache_ = parse(text, file_);
  cachedSize_ = size;
  cachedTime_ = time;
  return *cache_;
}

std::optional<std::string> RegFileRegistry::readValue(std::string_view key,
                                                      std::string_view name) const {
  const Value* value = findValue(load(), key, name);
  if (value == nullptr || !value->isText) return std::nullopt;
  return value->data;
}

std::optional<RegistryValue> RegFileRegistry::readRawValue(std::string_view key,
                                                           std::string_view name) const {
  const Content& content = load();
  const Value* value = findValue(content, key, name);
  if (value == nullptr) return std::nullopt;
  if (value->quoted) return textValue(content, value->data);
  if (auto listed = listedValue(value->data)) return listed;
  unreadable(file_, "the value \"" + visible(value->name) + "\" of key " + visible(fullPath(key)) +
                        " holds " + visible(value->data) + ", data of no form regedit imports");
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

std::optional<std::vector<std::string>> RegFileRegistry::valueNames(std::string_view key) const {
  const Content& content = load();
  const std::string path = fullPath(key);
  if (!keyExists(content, path)) return std::nullopt;
  std::vector<std::string> names;
  if (const auto index = findKey(content, path))  // a key only implied holds none
    for (const Value& value : content.keys[*index].values) names.push_back(value.name);
  return names;
}

template <typename Change>
bool RegFileRegistry::change(Change&& apply) {
  // Read afresh under the lock, as another process may have changed the file;
  // the cache is filled again by the next read.
  cache_.reset();
  try {
    const FileLock lock(fs::path(file_.string() + ".lock"));
    const std::string bytes = fs::exists(file_) ? readFileBytes(file_) : std::string();
    Content content = parse(bytes, file_);
    if (!apply(content)) return false;
    const std::string printed = printChecked(content, file_);
    if (printed == bytes) return true;
    writeFileAtomically(file_, printed);
  } catch (const std::system_error& e) {
    storeFailure("The registry file " + file_.string() + " cannot be written: " + e.what());
  }
  return true;
}

bool RegFileRegistry::writeValue(std::string_view key, std::string_view name,
                                 std::string_view text) {
  checkStorable(key, name, text);
  // A key that does not exist needs no lock: its folder may not even exist.
  if (!keyExists(load(), fullPath(key))) return false;
  return change([&](Content& content) { return setValue(content, key, name, text); });
}

bool RegFileRegistry::writeRawValue(std::string_view key, std::string_view name,
                                    const RegistryValue& value) {
  checkStorable(key, name, {});
  if (!keyExists(load(), fullPath(key))) return false;
  return change([&](Content& content) {
    if (const auto text = quotableText(content, value))
      return putValue(content, key, name, true, *text);
    return putValue(content, key, name, false, listingOf(value));
  });
}

bool RegFileRegistry::deleteValue(std::string_view key, std::string_view name) {
  const std::string path = fullPath(key);
  if (!keyExists(load(), path)) return false;
  const auto index = findKey(load(), path);
  if (!index) return true;
  const auto& loaded = load().keys[*index].values;
  if (std::none_of(loaded.begin(), loaded.end(),
                   [&](const Value& v) { return iequals(v.name, name); }))
    return true;  // nothing to write
  return change([&](Content& content) {
    const auto at = findKey(content, path);
    if (!at) return true;
    auto& values = content.keys[*at].values;
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const Value& v) { return iequals(v.name, name); });
    if (it == values.end()) return true;
    // Comments before the value are not ours to drop: they go with what follows.
    std::string comments = commentLines(it->before);
    const auto next = values.erase(it);
    if (next != values.end())
      next->before.insert(0, comments);
    else if (*at + 1 < content.keys.size())
      content.keys[*at + 1].before.insert(0, comments);
    else
      content.trailer.insert(0, comments);
    return true;
  });
}

bool RegFileRegistry::createKey(std::string_view key) {
  checkStorable(key, std::nullopt, {});
  const std::string path = fullPath(key);
  return change([&](Content& content) {
    if (!findKey(content, path)) appendKey(content, path);
    return true;
  });
}

bool RegFileRegistry::deleteKey(std::string_view key) {
  const std::string path = fullPath(key);
  if (!keyExists(load(), path)) return false;
  return change([&](Content& content) {
    if (!keyExists(content, path)) return false;
    // Comments before the keys that go stay: they are not ours to drop. The
    // blank lines go, so that a key made and deleted again leaves the file
    // as it was.
    std::vector<Key> kept;
    std::string comments;
    for (Key& k : content.keys) {
      if (iequals(k.path, path) || isBelow(k.path, path)) {
        comments.append(commentLines(k.before));
        for (const Value& value : k.values) comments.append(commentLines(value.before));
        continue;
      }
      k.before.insert(0, std::exchange(comments, {}));
      kept.push_back(std::move(k));
    }
    content.keys = std::move(kept);
    content.trailer.insert(0, comments);
    // The parent stays, as in the registry, even when it was only implied.
    const std::string parent = path.substr(0, path.rfind('\\'));
    if (parent != kRoot && !keyExists(content, parent)) appendKey(content, parent);
    return true;
  });
}

}  // namespace qsi::platform
