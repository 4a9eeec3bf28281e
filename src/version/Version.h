#pragma once

#include <string>
#include <string_view>
#include <utility>

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

// A version as a package's files or the registry give it. Its text is kept
// as written, since logs and records show it so; its parts are read as the
// part operations above read them.
class Version {
 public:
  Version() = default;
  explicit Version(std::string text) : text_(std::move(text)) {}

  [[nodiscard]] const std::string& text() const { return text_; }
  [[nodiscard]] bool empty() const { return text_.empty(); }
  [[nodiscard]] std::string majorPart() const { return getVersionMajor(text_); }
  [[nodiscard]] std::string minorPart() const { return getVersionMinor(text_); }
  [[nodiscard]] std::string buildPart() const { return getVersionBuild(text_); }
  [[nodiscard]] std::string revisionPart() const { return getVersionRevision(text_); }
  // "major.minor.build": how the registry and the Metabase record a module.
  [[nodiscard]] std::string threeParts() const {
    return majorPart() + "." + minorPart() + "." + buildPart();
  }

  friend bool operator==(const Version&, const Version&) = default;

 private:
  std::string text_;
};

}  // namespace qsi::version
