#include <set>

#include "fuzz/Fuzz.h"
#include "platform/Failure.h"
#include "platform/RegFileRegistry.h"

// The shared registry file: what parses prints back byte for byte and names no key or
// value twice, and writing our value changes no other entry's text (a last line gains its
// line end, or LF after a lone CR).
using qsi::platform::Failure;
using qsi::platform::RegFileRegistry;
using namespace qsi::fuzz;

static void checkKept(const std::string& before, const std::string& after,
                      const std::string& lineEnd) {
  const std::string ended = before + (before.ends_with('\r') ? "\n" : lineEnd);
  check(after == before || (!before.ends_with('\n') && after == ended),
        "an entry's own text is kept", after);
}

QSI_FUZZ_TARGET {
  const std::string bytes(textOf(data, size));
  RegFileRegistry::Content content;
  try {
    content = RegFileRegistry::parse(bytes, "fuzz.reg");
  } catch (const Failure&) {
    return 0;  // refused with the line that is wrong
  }
  check(RegFileRegistry::print(content) == bytes, "print(parse(b)) == b");
  std::set<std::string> names;  // told apart as the registry tells them apart
  for (const auto& key : content.keys) {
    const std::string path = qsi::platform::toLower(key.path);
    check(names.insert(path).second, "no key twice", key.path);
    for (const auto& value : key.values)
      check(names.insert(path + '\n' + qsi::platform::toLower(value.name)).second, "no value twice",
            value.name);
  }
  if (content.keys.empty()) return 0;

  // A key of the file or its parent (maybe there through it only); one of its values or a new one.
  constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE\\";
  const auto& chosen = content.keys[size % content.keys.size()];
  std::string key = chosen.path;
  if (!qsi::platform::iequals(key.substr(0, kRoot.size()), kRoot)) return 0;
  key.erase(0, kRoot.size());
  if (size % 2 == 1 && key.find('\\') != std::string::npos) key.erase(key.rfind('\\'));
  const std::string name =
      size % 4 >= 2 && !chosen.values.empty() ? chosen.values[0].name : "InstMainDir";
  try {
    if (!RegFileRegistry::setValue(content, key, name, "C:\\Q \"Orchard\" \xC3\xA9")) return 0;
  } catch (const Failure&) {
    return 0;  // a name the file could not keep
  }

  const auto again = RegFileRegistry::parse(RegFileRegistry::print(content), "fuzz.reg");
  check(again.header == content.header && again.trailer == content.trailer, "header and trailer");
  check(again.keys.size() == content.keys.size(), "the same keys");
  for (std::size_t k = 0; k < content.keys.size(); ++k) {
    const auto &was = content.keys[k], &is = again.keys[k];
    check(is.path == was.path && is.values.size() == was.values.size(), "the same key", is.path);
    if (!was.lines.empty())
      checkKept(was.before + was.lines, is.before + is.lines, content.lineEnd);
    for (std::size_t v = 0; v < was.values.size(); ++v) {
      const auto &old = was.values[v], &now = is.values[v];
      check(now.name == old.name && now.isText == old.isText && now.data == old.data,
            "the same value", now.lines);
      if (!old.lines.empty())
        checkKept(old.before + old.lines, now.before + now.lines, content.lineEnd);
    }
  }
  return 0;
}
