#include <algorithm>

#include "fuzz/Fuzz.h"
#include "platform/OdbcConnection.h"

// A connection text built from attributes parses back to them, and the
// password typed at the login (any bytes, after the first line end of the
// input) changes nothing but PWD in the text the driver manager reads: the
// built text up to its first NUL.
namespace {

using namespace qsi::platform;
using qsi::fuzz::check;

std::vector<ConnectionAttribute> read(const std::vector<ConnectionAttribute>& attributes) {
  const std::string text = buildConnectionText(attributes);
  return parseConnectionText(std::string_view(text).substr(0, text.find('\0')));
}

std::vector<ConnectionAttribute> withoutPassword(std::vector<ConnectionAttribute> attributes) {
  std::erase_if(attributes, [](const auto& a) { return iequals(a.key, "PWD"); });
  return attributes;
}

}  // namespace

QSI_FUZZ_TARGET {
  const auto [text, password] = qsi::fuzz::cutAt(qsi::fuzz::textOf(data, size), '\n');
  const auto parsed = parseConnectionText(text);
  check(parseConnectionText(buildConnectionText(parsed)) == parsed, "parse(build(a)) == a", text);

  std::vector<ConnectionAttribute> typed;
  try {
    typed = connectionAttributes(text, "sa", password);
  } catch (const OdbcFailure&) {
    check((std::string(text) + std::string(password)).find('\0') != std::string::npos,
          "only a NUL is refused", password);
    return 0;
  }
  const auto seen = read(typed);
  check(withoutPassword(seen) == withoutPassword(read(connectionAttributes(text, "sa", ""))),
        "the password changes nothing but PWD", buildConnectionText(typed));
  if (!password.empty()) {
    const auto pwd =
        std::find_if(seen.begin(), seen.end(), [](const auto& a) { return iequals(a.key, "PWD"); });
    check(pwd != seen.end() && pwd->value == password, "PWD is the password", password);
  }
  return 0;
}
