#include <algorithm>

#include "fuzz/Fuzz.h"
#include "platform/OdbcConnection.h"

// A built connection text parses back to its attributes; the password typed at the login
// (after the first line end) changes only PWD in what the driver reads (up to a NUL).
using namespace qsi::platform;
using namespace qsi::fuzz;

QSI_FUZZ_TARGET {
  const auto [text, password] = cutAt(textOf(data, size), '\n');
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
  const auto isPassword = [](const ConnectionAttribute& a) { return iequals(a.key, "PWD"); };
  const auto readBack = [](const std::vector<ConnectionAttribute>& attributes) {
    const std::string built = buildConnectionText(attributes);
    return parseConnectionText(std::string_view(built).substr(0, built.find('\0')));
  };
  auto seen = readBack(typed);
  auto withoutPassword = readBack(connectionAttributes(text, "sa", ""));
  const auto pwd = std::find_if(seen.begin(), seen.end(), isPassword);
  check(password.empty() || (pwd != seen.end() && pwd->value == password), "PWD is the password",
        password);
  std::erase_if(seen, isPassword);
  std::erase_if(withoutPassword, isPassword);
  check(seen == withoutPassword, "the password changes nothing but PWD",
        buildConnectionText(typed));
  return 0;
}
