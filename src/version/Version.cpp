#include "version/Version.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "platform/Text.h"

namespace qsi::version {

namespace {

std::string partOf(std::string_view version, std::size_t index) {
  if (version.empty()) return "0";
  const std::vector<std::string> parts = platform::split(version, '.');
  if (index == 3) return parts.size() == 4 ? parts[3] : "0";
  return index < parts.size() ? parts[index] : "0";
}

// A number as the version parts hold it: digits with optional sign, fraction
// and blanks around. nullopt when the text is no number.
std::optional<double> toNumber(std::string_view text) {
  text = platform::trim(text);
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double value = 0;
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

// One of the first three parts: a whole number of the 16-bit range (a
// fraction is rounded, as the conversion to a 16-bit integer does).
std::optional<double> toShortNumber(std::string_view text) {
  const auto value = toNumber(text);
  if (!value) return std::nullopt;
  const double rounded = std::nearbyint(*value);
  if (rounded < std::numeric_limits<short>::min() || rounded > std::numeric_limits<short>::max())
    return std::nullopt;
  return rounded;
}

}  // namespace

std::string getVersionMajor(std::string_view version) {
  return partOf(version, 0);
}
std::string getVersionMinor(std::string_view version) {
  return partOf(version, 1);
}
std::string getVersionBuild(std::string_view version) {
  return partOf(version, 2);
}
std::string getVersionRevision(std::string_view version) {
  return partOf(version, 3);
}

VersionParts versionParts(std::string_view version) {
  return {getVersionMajor(version), getVersionMinor(version), getVersionBuild(version),
          getVersionRevision(version)};
}

int compareNumbers(double a, double b) {
  if (b > a) return kSecondGreater;
  if (b == a) return kEqual;
  return kSecondSmaller;
}

int compareVersions(std::string_view v1, std::string_view v2) {
  const VersionParts p1 = versionParts(v1);
  const VersionParts p2 = versionParts(v2);
  const std::optional<double> a[] = {toShortNumber(p1.part1), toShortNumber(p1.part2),
                                     toShortNumber(p1.part3), toNumber(p1.part4)};
  const std::optional<double> b[] = {toShortNumber(p2.part1), toShortNumber(p2.part2),
                                     toShortNumber(p2.part3), toNumber(p2.part4)};
  // Every part is checked before any is compared: "1.x" against "2.0" must
  // not pass as older because its first part already differs.
  for (std::size_t i = 0; i < 4; ++i)
    if (!a[i] || !b[i]) return kSecondSmaller;
  for (std::size_t i = 0; i < 4; ++i) {
    const int result = compareNumbers(*a[i], *b[i]);
    if (result != kEqual) return result;
  }
  return kEqual;
}

bool isReadableVersion(std::string_view version) {
  return !platform::trim(version).empty() && compareVersions(version, version) == kEqual;
}

}  // namespace qsi::version
