#include <gtest/gtest.h>

#include "version/Version.h"

namespace qsi::version {
namespace {

struct Comparison {
  const char* v1;
  const char* v2;
  int expected;
};

class CompareVersions : public ::testing::TestWithParam<Comparison> {};

TEST_P(CompareVersions, ReadsRelativeToTheSecond) {
  const auto& c = GetParam();
  EXPECT_EQ(compareVersions(c.v1, c.v2), c.expected) << c.v1 << " vs " << c.v2;
}

// A version that cannot be compared (the last eleven) gives 0 whichever side
// it is on: the product is refused and the file skipped rather than the run failing.
INSTANTIATE_TEST_SUITE_P(
    All, CompareVersions,
    ::testing::Values(
        Comparison{"", "", kEqual}, Comparison{"1.2", "1.3", kSecondGreater},
        Comparison{"1.3", "1.2", kSecondSmaller}, Comparison{"1.0.0.3", "1.0.0.5", kSecondGreater},
        Comparison{"1.0.0.3", "1.0.0.3", kEqual}, Comparison{"1.0.0.3", "1.0.0.1", kSecondSmaller},
        Comparison{"2", "1.9.9.9", kSecondSmaller}, Comparison{"1.9", "1.10", kSecondGreater},
        Comparison{"01.2", "1.2", kEqual}, Comparison{"5", "5.0.0.0", kEqual},
        Comparison{"5.0", "5", kEqual}, Comparison{" 2 . 1", "2.1", kEqual},
        Comparison{"", "0.0.0.1", kSecondGreater}, Comparison{"2.1.0.0", "", kSecondSmaller},
        Comparison{"1.2.3.4.5", "1.2.3", kEqual},  // five parts: no fourth part
        Comparison{"1.0.0.2.5", "1.0.0.0.1", kEqual}, Comparison{"32767", "32766", kSecondSmaller},
        Comparison{"1.0.0.1.5", "1.0.0.1", kSecondGreater},
        Comparison{"1.x", "1.2", kSecondSmaller}, Comparison{"1.2", "1.x", kSecondSmaller},
        Comparison{"1.x", "2.0", kSecondSmaller}, Comparison{"1.0.0.x", "2.0.0.0", kSecondSmaller},
        Comparison{"1..2", "1.0.2", kSecondSmaller}, Comparison{".1", "0.1", kSecondSmaller},
        Comparison{"32768", "1", kSecondSmaller}, Comparison{"1", "-32769", kSecondSmaller},
        Comparison{"1.0.0.abc", "1.0.0.1", kSecondSmaller},
        Comparison{"1e3", "1000", kSecondSmaller}, Comparison{"1.", "1", kSecondSmaller}));

TEST(VersionParts, MissingPartsAreZeroAndFifthPartHidesTheFourth) {
  const auto parts = [](const char* version) {
    const auto p = versionParts(version);
    return p.part1 + "|" + p.part2 + "|" + p.part3 + "|" + p.part4;
  };
  EXPECT_EQ(parts(""), "0|0|0|0");
  EXPECT_EQ(parts("2.1"), "2|1|0|0");
  EXPECT_EQ(parts("1.2.3.4.5"), "1|2|3|0");
  EXPECT_EQ(parts("11.1.0.2"), "11|1|0|2");
  EXPECT_EQ(parts(".5"), "|5|0|0");  // a leading dot gives an empty first part
  EXPECT_EQ(parts("1..3"), "1||3|0");
}

}  // namespace
}  // namespace qsi::version
