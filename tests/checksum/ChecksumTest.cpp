#include <gtest/gtest.h>

#include <atomic>
#include <random>

#include "checksum/Checksum.h"
#include "checksum/ChecksumReader.h"
#include "support/TestSite.h"

namespace qsi::checksum {
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

// Files are read in chunks: one that is no whole number of them checksums as its text.
TEST(Checksum, FileLargerThan64MiBIsStreamedToTheSameResult) {
  test::TestSite site;
  std::string content((64u << 20) + 4099, '\0');
  std::minstd_rand random(42);
  for (char& c : content) c = static_cast<char>(random() >> 7);
  EXPECT_EQ(getFileChecksum(site.write("large.bin", content)), checksumText(calculateCRC(content)));
}

// Three threads, a window of four; a reader dropped half-way waits for nothing.
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
}  // namespace qsi::checksum
