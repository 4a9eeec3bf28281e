#include <gtest/gtest.h>

#include "platform/ProfileReader.h"
#include "support/TestSite.h"

namespace qsi::platform {
namespace {

TEST(ProfileReader, ReadsLikeThePlatformReaderAndSeesAChangedFile) {
  test::TestSite site;
  const auto file = site.write("a.ini",
                               "; comment line\r\n"
                               "Orphan=ignored\r\n"
                               "[ReleaseInfo]\r\n"
                               "  ProductName  =  Q-Alder  \r\n"
                               "Version=\"2.1.1.0\"\r\n"
                               "Quoted='single'\r\n"
                               "Half=\"open\r\n"
                               ";Version=commented\r\n"
                               "version=second wins not\r\n"
                               "Inline=a ; not a comment\r\n"
                               "Empty=\r\n"
                               "NoEquals\r\n" +
                                   std::string("AtNul=ab\0cd\r\n", 13) +
                                   "[  Dependency ]\n"
                                   "ProductName=Q-Common\n"
                                   "[releaseinfo]\n"
                                   "SolutionType=ServicePack\n"
                                   "ProductName=later section loses\n");
  ProfileReader reader;
  const auto read = [&](auto section, auto key) { return reader.readIniValue(file, section, key); };
  EXPECT_EQ(read("ReleaseInfo", "ProductName"), "Q-Alder");
  EXPECT_EQ(read("RELEASEINFO", "productname"), "Q-Alder");
  EXPECT_EQ(read("ReleaseInfo", "Version"), "2.1.1.0");
  EXPECT_EQ(read("ReleaseInfo", "Quoted"), "single");
  EXPECT_EQ(read("ReleaseInfo", "Half"), "\"open");
  EXPECT_EQ(read("ReleaseInfo", "Inline"), "a ; not a comment");
  EXPECT_EQ(read("ReleaseInfo", "Empty"), "");
  EXPECT_EQ(read("ReleaseInfo", ";Version"), "");  // a comment
  EXPECT_EQ(read("ReleaseInfo", "AtNul"), "ab");   // as the platform reader's text ends
  EXPECT_EQ(read("ReleaseInfo", "SolutionType"), "ServicePack");
  EXPECT_EQ(read("Dependency", "ProductName"), "Q-Common");
  EXPECT_EQ(read("ReleaseInfo", "Orphan"), "");
  EXPECT_EQ(reader.readIniValue(site.root / "none.ini", "ReleaseInfo", "Version"), "");
  site.write("none.ini", "[ReleaseInfo]\nVersion=1\n");  // a file made later is read
  EXPECT_EQ(reader.readIniValue(site.root / "none.ini", "ReleaseInfo", "Version"), "1");

  // Long values are cut; a changed file is read again, but within a snapshot
  // it is seen as it was at its first use in it.
  const std::string longValue(400, 'v');
  const auto other = site.write("b.ini", "[S]\nK=" + longValue + "\n");
  EXPECT_EQ(reader.readIniValue(other, "S", "K"), longValue.substr(0, 319));
  // A UTF-8 byte-order mark is read past; text from it is cut at a character.
  std::string accents;
  for (int i = 0; i < 400; ++i) accents += "\xC3\xA9";
  EXPECT_EQ(reader.readIniValue(site.write("c.ini", "\xEF\xBB\xBF[S]\nK=" + accents), "S", "K"),
            accents.substr(0, 319 * 2));
  site.write("b.ini", "[S]\nK=changed, and of another size\n");
  const std::pair<std::string, std::string> changes[] = {{"changed, and of another size", "within"},
                                                         {"within", "again"}};
  for (const auto& [seen, later] : changes) {
    const ProfileReader::Snapshot snapshot(reader);
    EXPECT_EQ(reader.readIniValue(other, "S", "K"), seen);
    site.write("b.ini", "[S]\nK=" + later + "\n");
    EXPECT_EQ(reader.readIniValue(other, "S", "K"), seen);
  }
  EXPECT_EQ(reader.readIniValue(other, "S", "K"), "again");
}

}  // namespace
}  // namespace qsi::platform
