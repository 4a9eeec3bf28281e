#include "journal/Records.h"

#include "platform/FileIO.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <utility>

namespace qsi::journal {

namespace {

bool isControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == '\x7f';
}

// Tabs separate fields; backslashes and control characters are escaped.
void appendEscaped(std::string& out, std::string_view field) {
  for (const char c : field) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (isControl(c)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out.push_back(c);
    }
  }
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The fields of `line`, or why it is no record the writer made.
std::optional<std::vector<std::string>> splitFields(std::string_view line, std::string& why) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
    } else if (isControl(c)) {
      why = "a control character at byte " + std::to_string(i + 1);
      return std::nullopt;
    } else if (c != '\\') {
      fields.back().push_back(c);
    } else if (i + 1 == line.size()) {
      why = "a backslash at its end";
      return std::nullopt;
    } else {
      const char next = line[++i];
      if (next == '\\' || next == 't' || next == 'n' || next == 'r') {
        fields.back().push_back(next == 't'   ? '\t'
                                : next == 'n' ? '\n'
                                : next == 'r' ? '\r'
                                              : '\\');
      } else if (next == 'x' && i + 2 < line.size() && hexDigit(line[i + 1]) >= 0 &&
                 hexDigit(line[i + 2]) >= 0) {
        fields.back().push_back(
            static_cast<char>(hexDigit(line[i + 1]) * 16 + hexDigit(line[i + 2])));
        i += 2;
      } else {
        why = "an unknown escape at byte " + std::to_string(i);
        return std::nullopt;
      }
    }
  }
  return fields;
}

// Reads the fields of one record in order, noting the first problem.
class Fields {
 public:
  Fields(std::vector<std::string> fields, std::string& why)
      : fields_(std::move(fields)), why_(why) {}

  [[nodiscard]] std::size_t size() const { return fields_.size(); }

  // Any text, control characters included (values, statements).
  std::string text() { return take(); }
  // A path, key, name or date: no control characters.
  std::string name() {
    std::string field = take();
    for (const char c : field)
      if (isControl(c))
        return fail("field " + std::to_string(next_) + " holds a control character");
    return field;
  }
  template <typename Number>
  Number number(Number max = std::numeric_limits<Number>::max()) {
    const std::string field = take();
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || ec != std::errc() || end != field.data() + field.size() || value > max ||
        (field.size() > 1 && field.front() == '0')) {
      (void)fail("field " + std::to_string(next_) + " is no number");
      return 0;
    }
    return static_cast<Number>(value);
  }
  // One of two words: true for `yes`.
  bool flag(std::string_view yes, std::string_view no) {
    const std::string field = take();
    if (field != yes && field != no)
      (void)fail("field " + std::to_string(next_) + " is neither " + std::string(yes) + " nor " +
                 std::string(no));
    return field == yes;
  }
  Fingerprint fingerprint() {
    Fingerprint fingerprint;
    fingerprint.size = number<std::uint64_t>();
    fingerprint.crc = number<std::uint16_t>(0xFFFF);
    return fingerprint;
  }
  std::vector<std::string> rest() {
    std::vector<std::string> names;
    while (next_ < fields_.size()) names.push_back(name());
    return names;
  }
  // Notes the first problem; the value read is then void.
  std::string fail(std::string why) {
    if (why_.empty()) why_ = std::move(why);
    return {};
  }

 private:
  std::string take() {
    return next_ < fields_.size() ? std::move(fields_[next_++]) : std::string();
  }

  std::vector<std::string> fields_;
  std::string& why_;
  std::size_t next_ = 0;
};

// The kinds' names, in the order of the variant's types.
constexpr std::string_view kKinds[] = {
    "begin",  "mkdir", "replace",          "create",           "placed", "registry", "registry-key",
    "com",    "mts",   "services-stopped", "services-started", "script", "metabase", "end",
    "undone", "kept"};
static_assert(std::size(kKinds) == std::variant_size_v<Record>);

// Every kind's fields, written and read in the same order.
struct Layout {
  std::vector<std::string> out;
  void operator()(const Begin& r) {
    out = {r.run, r.date, r.process};
    if (r.sequence != 0) out.push_back(std::to_string(r.sequence));
  }
  void operator()(const Mkdir& r) { out = {r.folder}; }
  void operator()(const Replace& r) {
    out = {r.path, r.backup, std::to_string(r.old.size), std::to_string(r.old.crc), r.source};
    if (!r.keptBeside.empty() || !r.attributes.empty() || r.old.crc32c)
      out.insert(out.end(), {r.keptBeside, r.attributes});
    if (r.old.crc32c) out.push_back(std::to_string(*r.old.crc32c));
  }
  void operator()(const Create& r) { out = {r.path, r.source}; }
  void operator()(const Placed& r) {
    out = {r.path, std::to_string(r.fingerprint.size), std::to_string(r.fingerprint.crc)};
    if (r.fingerprint.crc32c) out.push_back(std::to_string(*r.fingerprint.crc32c));
  }
  void operator()(const RegistryValue& r) {
    out = {r.key, r.name, r.existed ? "1" : "0", r.old, r.now};
    if (r.oldRaw) {
      std::string bytes;
      for (const char c : r.oldRaw->data) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x",
                      static_cast<unsigned>(static_cast<unsigned char>(c)));
        bytes += pair;
      }
      out.insert(out.end(), {std::to_string(r.oldRaw->type), bytes});
    }
  }
  void operator()(const RegistryKey& r) { out = {r.key}; }
  void operator()(const Com& r) {
    out = {r.dll, r.registering ? "register" : "unregister",
           r.wasRegistered ? (*r.wasRegistered ? "1" : "0") : "?"};
  }
  void operator()(const Mts& r) {
    out = {r.package, r.dll, r.installing ? "install" : "remove"};
    out.insert(out.end(), r.before.begin(), r.before.end());
  }
  void operator()(const ServicesStopped&) {}
  void operator()(const ServicesStarted&) {}
  void operator()(const Script& r) { out = {r.name, r.database}; }
  void operator()(const Metabase& r) { out = {r.statement}; }
  void operator()(const End&) {}
  void operator()(const Undone& r) { out = {r.date}; }
  void operator()(const Kept& r) { out = {r.date}; }
};

// How many fields each kind has; the MTS record at least three, the begin
// record three (older runs) or four; a replace or placed record of an older
// run lacks the CRC-32C, the last field.
bool countFits(std::size_t kind, std::size_t count) {
  constexpr std::size_t kCounts[] = {3, 1, 5, 2, 3, 5, 1, 3, 3, 0, 0, 2, 1, 0, 1, 1};
  if (kind == 0) return count == 3 || count == 4;
  if (kind == 8) return count >= 3;
  if (kind == 2) return count == 5 || count == 7 || count == 8;
  if (kind == 4) return count == 3 || count == 4;
  if (kind == 5) return count == 5 || count == 7;
  return count == kCounts[kind];
}

Record decode(std::size_t kind, Fields& f) {
  switch (kind) {
    case 0: {
      Begin r{f.name(), f.name(), f.name()};
      if (f.size() == 4) r.sequence = f.number<std::uint64_t>();
      return r;
    }
    case 1:
      return Mkdir{f.name()};
    case 2: {
      Replace r;
      r.path = f.name();
      r.backup = f.name();
      r.old = f.fingerprint();
      r.source = f.name();
      if (f.size() >= 7) {
        r.keptBeside = f.name();
        r.attributes = f.name();
        if (!r.attributes.empty() && !platform::parseAttributes(r.attributes))
          (void)f.fail("field 7 is no file's attributes");
      }
      if (f.size() == 8) r.old.crc32c = f.number<std::uint32_t>();
      return r;
    }
    case 3:
      return Create{f.name(), f.name()};
    case 4: {
      Placed r;
      r.path = f.name();
      r.fingerprint = f.fingerprint();
      if (f.size() == 4) r.fingerprint.crc32c = f.number<std::uint32_t>();
      return r;
    }
    case 5: {
      RegistryValue r;
      r.key = f.name();
      r.name = f.name();
      r.existed = f.flag("1", "0");
      r.old = f.text();
      r.now = f.text();
      if (f.size() == 7) {
        platform::RegistryValue raw{f.number<std::uint32_t>(), {}};
        const std::string bytes = f.name();
        bool hex = bytes.size() % 2 == 0;
        for (std::size_t i = 0; hex && i < bytes.size(); i += 2) {
          const int high = hexDigit(bytes[i]);
          const int low = hexDigit(bytes[i + 1]);
          hex = high >= 0 && low >= 0;
          raw.data.push_back(static_cast<char>(high * 16 + low));
        }
        if (!hex) (void)f.fail("field 7 is no hex bytes");
        r.oldRaw = std::move(raw);
      }
      return r;
    }
    case 6:
      return RegistryKey{f.name()};
    case 7: {
      Com r;
      r.dll = f.name();
      r.registering = f.flag("register", "unregister");
      const std::string was = f.name();
      if (was == "1" || was == "0")
        r.wasRegistered = was == "1";
      else if (was != "?")
        (void)f.fail("field 3 is neither 1, 0 nor ?");
      return r;
    }
    case 8: {
      Mts r;
      r.package = f.name();
      r.dll = f.name();
      r.installing = f.flag("install", "remove");
      r.before = f.rest();
      return r;
    }
    case 9:
      return ServicesStopped{};
    case 10:
      return ServicesStarted{};
    case 11:
      return Script{f.name(), f.name()};
    case 12:
      return Metabase{f.text()};
    case 13:
      return End{};
    case 14:
      return Undone{f.name()};
    default:
      return Kept{f.name()};
  }
}

}  // namespace

bool isChange(const Record& record) {
  return !std::holds_alternative<Begin>(record) && !std::holds_alternative<End>(record) &&
         !std::holds_alternative<Undone>(record) && !std::holds_alternative<Kept>(record);
}

std::string encode(const Record& record) {
  Layout layout;
  std::visit(layout, record);
  std::string line;
  appendEscaped(line, kKinds[record.index()]);
  for (const std::string& field : layout.out) {
    line.push_back('\t');
    appendEscaped(line, field);
  }
  return line;
}

Parsed parse(std::string_view line) {
  Parsed parsed;
  auto fields = splitFields(line, parsed.refusal);
  if (!fields) return parsed;
  std::size_t kind = 0;
  while (kind < std::size(kKinds) && kKinds[kind] != fields->front()) ++kind;
  if (kind == std::size(kKinds)) {
    parsed.refusal = "an unknown kind of record";
    return parsed;
  }
  fields->erase(fields->begin());
  if (!countFits(kind, fields->size())) {
    parsed.refusal = std::to_string(fields->size()) + " fields, wrong for a " +
                     std::string(kKinds[kind]) + " record";
    return parsed;
  }
  Fields reader(std::move(*fields), parsed.refusal);
  Record record = decode(kind, reader);
  if (parsed.refusal.empty()) parsed.record = std::move(record);
  return parsed;
}

}  // namespace qsi::journal
