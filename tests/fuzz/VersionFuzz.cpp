#include <cerrno>
#include <cstdlib>
#include <string>

#include "fuzz/Fuzz.h"
#include "version/Version.h"

// Two versions compare the same either way round, one that cannot be compared
// gives 0 on either side, and every other equals itself and its four parts
// joined by ".".
using namespace qsi::version;
using namespace qsi::fuzz;

// Blanks, an optional "+", a whole number (the first three parts within 16
// bits), blanks; read here with strtod.
static bool comparablePart(std::string part, bool shortRange) {
  part = std::string(qsi::platform::trim(part));
  std::size_t at = part.starts_with('+') ? 1 : 0;
  at += part.compare(at, 1, "-") == 0 ? 1 : 0;
  if (at == part.size() || part.find_first_not_of("0123456789", at) != std::string::npos)
    return false;
  errno = 0;
  const double value = std::strtod(part.c_str() + (part[0] == '+' ? 1 : 0), nullptr);
  return errno != ERANGE && (!shortRange || (value >= -32768 && value <= 32767));
}

static bool comparable(std::string_view version) {
  const auto p = versionParts(version);
  return comparablePart(p.part1, true) && comparablePart(p.part2, true) &&
         comparablePart(p.part3, true) && comparablePart(p.part4, false);
}

QSI_FUZZ_TARGET {
  const auto [a, b] = cutAt(textOf(data, size), '\n');
  const std::string both = std::string(a) + " | " + std::string(b);
  const int ab = compareVersions(a, b), ba = compareVersions(b, a);
  if (!comparable(a) || !comparable(b)) {
    check(ab == kSecondSmaller && ba == kSecondSmaller, "0 with a version not comparable", both);
    return 0;
  }
  check(ab + ba == kSecondGreater && (ab == kEqual) == (ba == kEqual), "a, b agrees with b, a",
        both);
  check(compareVersions(a, a) == kEqual, "a equals itself", a);
  const auto p = versionParts(a);
  const std::string joined = p.part1 + "." + p.part2 + "." + p.part3 + "." + p.part4;
  check(compareVersions(a, joined) == kEqual, "a equals its parts joined", joined);
  return 0;
}
