#include "fuzz/Fuzz.h"
#include "version/Version.h"

// Two versions compare the same either way round, or give 0 both ways when one cannot be
// compared; one that can equals itself and its four parts joined by ".".
using namespace qsi::version;
using namespace qsi::fuzz;

QSI_FUZZ_TARGET {
  const auto [a, b] = cutAt(textOf(data, size), '\n');
  const std::string both = std::string(a) + " | " + std::string(b);
  const int ab = compareVersions(a, b), ba = compareVersions(b, a);
  check((ab == kSecondSmaller && ba == kSecondSmaller) ||
            (ab + ba == kSecondGreater && (ab == kEqual) == (ba == kEqual)),
        "a, b agrees with b, a", both);
  if (compareVersions(a, a) != kEqual) {
    check(ab == kSecondSmaller && ba == kSecondSmaller, "0 with a version not comparable", both);
    return 0;
  }
  const auto p = versionParts(a);
  const std::string joined = p.part1 + "." + p.part2 + "." + p.part3 + "." + p.part4;
  check(compareVersions(a, joined) == kEqual, "a equals its parts joined", joined);
  return 0;
}
