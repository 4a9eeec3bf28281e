#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <random>

#include "customization/Checksum.h"
#include "customization/ChecksumReader.h"
#include "support/TestSite.h"

namespace qsi::customization {
namespace {

TEST(Checksum, WorkedValuesFromTextAndFilesAndZeroForWhatHasNone) {
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
  EXPECT_EQ(calculateCRC("abc"),
            static_cast<std::int32_t>(0xFFFFCADBu));  // odd: sign-extended
  // Libraries, missing files and folders have none.
  for (const auto& path : {site.write("a/Bramble.DLL", "abc"), site.write("a/nodotdll", "abc"),
                           site.root / "a" / "missing.asp", site.root / "a"})
    EXPECT_EQ(getFileChecksum(path), "0") << path;
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

// Three threads, a window of four: checksums come back in list order, a
// failure at its own file alone, no file is read further ahead than the
// window, and a reader dropped half-way does not wait for the rest.
TEST(Checksum, ReadAheadKeepsListOrderFailuresInPlaceAndItsWindow) {
  test::TestSite site;
  std::vector<std::filesystem::path> files;
  for (int i = 0; i < 300; ++i)
    files.push_back(site.write("f" + std::to_string(i) + ".asp", std::to_string(i * i)));
  std::atomic<std::size_t> taken = 0;
  std::atomic<bool> aheadOfWindow = false;
  ChecksumReader reader(
      files.size(),
      [&](std::size_t i) {
        if (i > taken + 4) aheadOfWindow = true;  // the one handed out counts late
        if (i == 150) throw std::runtime_error("unreadable");
        return files[i];
      },
      3, 4);
  for (std::size_t i = 0; i < files.size(); ++i, ++taken) {
    if (i == 150)
      EXPECT_THROW((void)reader.next(), std::runtime_error);
    else
      EXPECT_EQ(reader.next(), getFileChecksum(files[i])) << i;
  }
  EXPECT_FALSE(aheadOfWindow);
  EXPECT_THROW((void)reader.next(), std::out_of_range);
  ChecksumReader dropped(
      files.size(), [&](std::size_t i) { return files[i]; }, 2, 4);
  EXPECT_EQ(dropped.next(), getFileChecksum(files[0]));
}

}  // namespace
}  // namespace qsi::customization
