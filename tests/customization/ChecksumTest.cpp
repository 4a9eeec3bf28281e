#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "customization/Checksum.h"
#include "support/TestSite.h"

namespace qsi::customization {
namespace {

// The register exactly as the bit-by-bit definition computes it, fed in pieces.
struct BitByBitCrc {
  std::int32_t r = 0;
  void update(std::string_view bytes) {
    for (const char ch : bytes) {
      const auto c = static_cast<unsigned char>(ch);
      for (int j = 7; j >= 0; --j) {
        const bool top = (r & 0x8000) != 0;
        const bool in = ((c >> j) & 1) != 0;
        r = (r & 0x7FFF) * 2;
        if (top != in) r ^= static_cast<std::int32_t>(0xFFFF8005u);
      }
    }
  }
};

TEST(Checksum, WorkedValuesFromTextAndFromFiles) {
  test::TestSite site;
  const std::pair<std::string, std::string> cases[] = {
      {"abc", "CADB"}, {"A", "186"}, {"aaxa", "02C5"}, {"123456789", "FEE8"}, {"", "0"}};
  for (const auto& [content, expected] : cases) {
    BitByBitCrc reference;
    reference.update(content);
    EXPECT_EQ(calculateCRC(content), reference.r) << content;
    EXPECT_EQ(checksumText(calculateCRC(content)), expected) << content;
    EXPECT_EQ(getFileChecksum(site.write("f-" + content + ".asp", content)), expected) << content;
  }
}

TEST(Checksum, RegisterAndSignMatchTheBitwiseDefinition) {
  std::mt19937 random(7);
  for (int length = 0; length < 300; ++length) {
    std::string text(static_cast<std::size_t>(length), '\0');
    for (char& c : text) c = static_cast<char>(random() & 0xFF);
    BitByBitCrc reference;
    reference.update(text);
    ASSERT_EQ(calculateCRC(text), reference.r) << length;
  }
}

TEST(Checksum, LibrariesMissingFilesAndFoldersGiveZero) {
  test::TestSite site;
  EXPECT_EQ(getFileChecksum(site.write("a/Bramble.DLL", "abc")), "0");
  EXPECT_EQ(getFileChecksum(site.write("a/nodotdll", "abc")), "0");
  EXPECT_EQ(getFileChecksum(site.root / "a" / "missing.asp"), "0");
  EXPECT_EQ(getFileChecksum(site.root / "a"), "0");
  const auto one = site.write("b/one.asp", "<% Response.Write 1 %>");
  const auto two = site.write("c/two.asp", "<% Response.Write 1 %>");
  const auto changed = site.write("d/three.asp", "<% Response.Write 2 %>");
  EXPECT_EQ(getFileChecksum(one), getFileChecksum(two));
  EXPECT_NE(getFileChecksum(one), getFileChecksum(changed));
}

TEST(Checksum, FileLargerThan64MiBIsStreamedToTheSameResult) {
  test::TestSite site;
  const auto file = site.root / "large.bin";
  constexpr std::size_t kSize = (64u << 20) + 4099;  // not a whole number of chunks
  BitByBitCrc reference;
  {
    std::ofstream out(file, std::ios::binary);
    std::minstd_rand random(42);
    std::string block;
    for (std::size_t written = 0; written < kSize; written += block.size()) {
      block.assign(std::min<std::size_t>(1u << 20, kSize - written), '\0');
      for (char& c : block) c = static_cast<char>(random() >> 7);
      reference.update(block);
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  ASSERT_EQ(std::filesystem::file_size(file), kSize);
  EXPECT_EQ(getFileChecksum(file), checksumText(reference.r));
}

}  // namespace
}  // namespace qsi::customization
