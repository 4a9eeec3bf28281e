#pragma once

#include <string>
#include <string_view>

namespace qsi::version {

// Parts of a dotted version text ("0" when the text is empty or lacks the part;
// the fourth part only when the text has exactly four parts).
[[nodiscard]] std::string getVersionMajor(std::string_view version);
[[nodiscard]] std::string getVersionMinor(std::string_view version);
[[nodiscard]] std::string getVersionBuild(std::string_view version);
[[nodiscard]] std::string getVersionRevision(std::string_view version);

// Comparison results, always read relative to the second argument.
inline constexpr int kSecondSmaller = 0;
inline constexpr int kEqual = 1;
inline constexpr int kSecondGreater = 2;

[[nodiscard]] int compareNumbers(double a, double b);

// 2 when `v2` is greater, 1 when equal, 0 when `v2` is smaller.
// A version that cannot be compared (a part that is not a number, an empty
// part between dots, one of the first three parts outside -32768..32767)
// gives 0: every caller then takes the safe road (the product is refused,
// the file is skipped) instead of failing where nobody handles a failure.
[[nodiscard]] int compareVersions(std::string_view v1, std::string_view v2);

// Whether `version` names a version that compareVersions can read: not
// empty (which reads as 0), every part a number of its range.
[[nodiscard]] bool isReadableVersion(std::string_view version);

// The four parts of a version, each as its part operation gives it.
struct VersionParts {
  std::string part1, part2, part3, part4;
};
[[nodiscard]] VersionParts versionParts(std::string_view version);

}  // namespace qsi::version
