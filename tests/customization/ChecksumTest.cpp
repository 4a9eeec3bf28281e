#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "customization/Checksum.h"
#include "support/TestSite.h"

namespace qsi::customization {
namespace {

TEST(Checksum, WorkedValuesFromTextAndFromFiles) {
  test::TestSite site;
  std::string everyByte(256, '\0');
  for (std::size_t i = 0; i < everyByte.size(); ++i) everyByte[i] = static_cast<char>(i);
  const std::pair<std::string, std::string> cases[] = {{"abc", "CADB"},  {"A", "186"},
                                                       {"aaxa", "02C5"}, {"123456789", "FEE8"},
                                                       {"", "0"},        {everyByte, "3B7A"}};
  int n = 0;
  for (const auto& [content, expected] : cases) {
    EXPECT_EQ(checksumText(calculateCRC(content)), expected);
    EXPECT_EQ(getFileChecksum(site.write("f" + std::to_string(n++) + ".asp", content)), expected);
  }
  EXPECT_EQ(calculateCRC("abc"), static_cast<std::int32_t>(0xFFFFCADBu));  // odd: sign-extended
  EXPECT_EQ(calculateCRC("A"), 0x186);
}

TEST(Checksum, LibrariesMissingFilesAndFoldersGiveZero) {
  test::TestSite site;
  EXPECT_EQ(getFileChecksum(site.write("a/Bramble.DLL", "abc")), "0");
  EXPECT_EQ(getFileChecksum(site.write("a/nodotdll", "abc")), "0");
  EXPECT_EQ(getFileChecksum(site.root / "a" / "missing.asp"), "0");
  EXPECT_EQ(getFileChecksum(site.root / "a"), "0");
}

TEST(Checksum, FileLargerThan64MiBIsStreamedToTheSameResult) {
  test::TestSite site;
  const auto file = site.root / "large.bin";
  constexpr std::size_t kSize = (64u << 20) + 4099;  // not a whole number of chunks
  Crc16 inMemory;  // fed in blocks of another size than the file reader's
  {
    std::ofstream out(file, std::ios::binary);
    std::minstd_rand random(42);
    std::string block;
    for (std::size_t written = 0; written < kSize; written += block.size()) {
      block.assign(std::min<std::size_t>(1u << 20, kSize - written), '\0');
      for (char& c : block) c = static_cast<char>(random() >> 7);
      inMemory.update(block);
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  ASSERT_EQ(std::filesystem::file_size(file), kSize);
  EXPECT_EQ(getFileChecksum(file), checksumText(crcRegister(inMemory.value())));
}

}  // namespace
}  // namespace qsi::customization
