#include <gtest/gtest.h>

#include <functional>

#include "platform/Failure.h"
#include "platform/RegFileRegistry.h"
#include "support/TestSite.h"

namespace qsi::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSuite = "SOFTWARE\\Corvane\\Corvane Q-Orchard";
const std::string kAlder = std::string(kSuite) + "\\Modules\\Q-Alder";
const std::string kAlderLine = "[HKEY_LOCAL_MACHINE\\" + kAlder + "]";

class RegFileRegistryTest : public ::testing::Test {
 protected:
  test::TestSite site;
  fs::path file = site.root / "store.reg";
  RegFileRegistry registry{file};

  void write(std::string_view text) const { site.write("store.reg", text); }
  static std::string failureOf(const std::function<void()>& store) {
    try {
      store();
    } catch (const Failure& failure) {
      return std::to_string(failure.number()) + " " + failure.description();
    }
    return "stored";
  }
};

// A missing file is an empty registry that only keys can be added to.
TEST_F(RegFileRegistryTest, ReadsAMissingFileAsEmptyAndOthersAsRegeditImportsThem) {
  EXPECT_EQ(registry.readValue(kSuite, "InstMainDir"), std::nullopt);
  EXPECT_EQ(registry.subKeys(kSuite), std::nullopt);
  EXPECT_FALSE(registry.writeValue(kSuite, "InstMainDir", "x"));
  RegFileRegistry elsewhere(site.root / "no folder" / "store.reg");  // no lock to take there
  EXPECT_FALSE(elsewhere.deleteKey(kSuite));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(registry.createKey(std::string(kSuite) + "\\Catalog\\Packages\\1"));
  EXPECT_TRUE(registry.deleteKey(std::string(kSuite) + "\\Catalog"));
  EXPECT_EQ(registry.subKeys(kSuite), std::vector<std::string>{});
  EXPECT_EQ(test::readText(file),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]\r\n");

  write(
      "Windows Registry Editor Version 5.00\r\n\r\n; made by hand\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]\r\n"
      "\"InstMainDir\"=\"C:\\\\Q-Orchard\\\\Main\"\r\n"
      // \n and \r are LF and CR, others stand for themselves; a value with \0 is dropped.
      "\"Escapes\"=\"\\\" \\n \\r \\t \\x\"\r\n"
      "\"Nul\"=\"a\\0b\\\\\"\r\n"
      "\"N\\tame\"=\"1\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\Modules\\q-common]\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\Modules\\Q-Alder\\Deeper]\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\Empty]\r\n");
  EXPECT_EQ(registry.readValue(kSuite, "InstMainDir"), "C:\\Q-Orchard\\Main");
  EXPECT_EQ(registry.readValue("software\\corvane\\CORVANE Q-ORCHARD\\", "instmaindir"),
            "C:\\Q-Orchard\\Main");
  EXPECT_EQ(registry.readValue(kSuite, "Escapes"), "\" \n \r t x");
  EXPECT_EQ(registry.readValue(kSuite, "Nul"), std::nullopt);
  EXPECT_EQ(registry.readValue(kSuite, "Ntame"), "1");
  // Parents of written keys exist; subkeys come in name order, case kept.
  EXPECT_EQ(registry.subKeys(std::string(kSuite) + "\\Modules"),
            (std::vector<std::string>{"Q-Alder", "q-common"}));
  EXPECT_EQ(registry.subKeys(std::string(kSuite) + "\\Empty"), std::vector<std::string>{});
  EXPECT_EQ(registry.subKeys("SOFTWARE\\Nowhere"), std::nullopt);
  // A key only implied holds no values.
  EXPECT_EQ(registry.valueNames(std::string(kSuite) + "\\Modules"), std::vector<std::string>{});
  EXPECT_EQ(registry.valueNames("SOFTWARE\\Nowhere"), std::nullopt);
}

// Each value is read with its type and bytes as a version 5 export lists
// them; text is UTF-16 there, but its own bytes in a REGEDIT4 file.
TEST_F(RegFileRegistryTest, ReadsEachValueWithItsTypeAndBytes) {
  write(
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\K]\r\n"
      "\"Text\"=\"\xC3\xA9!\"\r\n\"Ansi\"=\"\xE9\"\r\n\"Count\"=dword:0002010a\r\n"
      "\"Path\"=hex(2):25,00,41,00,00,00\r\n\"List\"=hex(7):61,00,00,00,\\\r\n  00,00\r\n"
      "\"Blob\"=hex:01,FF,\r\n\"Bad\"=hex(2):0x1\r\n");
  const std::pair<const char*, RegistryValue> values[] = {
      {"Text", {kRegSz, std::string("\xE9\0!\0\0\0", 6)}},
      {"ansi", {kRegSz, std::string("\xE9\0\0\0", 4)}},  // no UTF-8: taken for Latin-1
      {"Count", {kRegDword, std::string("\x0A\x01\x02\0", 4)}},
      {"Path", {kRegExpandSz, std::string("%\0A\0\0\0", 6)}},
      {"List", {kRegMultiSz, std::string("a\0\0\0\0\0", 6)}},
      {"Blob", {kRegBinary, "\x01\xFF"}}};  // a last comma ends no byte
  for (const auto& [name, value] : values)
    EXPECT_EQ(registry.readRawValue("K", name), value) << name;
  EXPECT_EQ(registry.readRawValue("K", "Missing"), std::nullopt);
  // Put back over the text a run wrote, each value reads as it was, type and bytes.
  for (const auto& [name, value] : values) {
    ASSERT_TRUE(registry.writeValue("K", name, "over"));
    ASSERT_TRUE(registry.writeRawValue("K", name, value));
    EXPECT_EQ(registry.readRawValue("K", name), value) << name;
  }
  EXPECT_NE(test::readText(file).find("\"Count\"=dword:0002010a\r\n"), std::string::npos);
  EXPECT_FALSE(registry.writeRawValue("Nowhere", "x", values[0].second));
  EXPECT_EQ(registry.valueNames("K"),
            (std::vector<std::string>{"Text", "Ansi", "Count", "Path", "List", "Blob", "Bad"}));
  EXPECT_EQ(registry.readValue("K", "Count"), std::nullopt);  // no text
  EXPECT_NE(failureOf([&] { (void)registry.readRawValue("K", "Bad"); })
                .find(": the value \"Bad\" of key HKEY_LOCAL_MACHINE\\K holds hex(2):0x1, data of "
                      "no form regedit imports"),
            std::string::npos);
  write("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"Text\"=\"\xE9!\"\r\n");
  EXPECT_EQ(registry.readRawValue("k", "text"), (RegistryValue{kRegSz, std::string("\xE9!\0", 3)}));
}

// The file is shared: only the installer's own values are printed anew, in
// the file's line ends and encoding; every other byte stays.
TEST_F(RegFileRegistryTest, WritesOnlyExistingKeysAndKeepsEveryOtherByte) {
  const std::string suiteKey = "[HKEY_LOCAL_MACHINE\\" + std::string(kSuite) + "]";
  const std::string others =
      "\"Blob\"=hex:01,02,\\\r\n; between the lines of a value\r\n  03,04\r\n"
      "\"Tab\"=\"a\\tb\\u\" ; regedit reads past this comment\r\n";
  const struct {
    std::string before;
    std::function<void(RegFileRegistry&)> edit;
    std::string after;
  } cases[] = {
      {"Windows Registry Editor Version 5.00\r\n\r\n" + suiteKey + "\r\n@=\"default\"\r\n" +
           "\"InstMainDir\"=\"C:\\\\Main\"\r\n" + others + "\r\n" + kAlderLine +
           "\r\n\"AppVersion\"=\"2.1.0\"\r\n\r\n; the end\r\n",
       [](RegFileRegistry& r) {
         EXPECT_TRUE(r.writeValue(kSuite, "InstMainDir", "D:\\New \"x\"\tnew"));
         EXPECT_TRUE(r.writeValue(kAlder, "Fresh", "1"));
         EXPECT_TRUE(r.writeValue(std::string(kSuite) + "\\Modules", "Implied", "2"));
         EXPECT_FALSE(r.writeValue(std::string(kSuite) + "\\Modules\\Q-Birch", "AppVersion", "1"));
       },
       "Windows Registry Editor Version 5.00\r\n\r\n" + suiteKey + "\r\n@=\"default\"\r\n" +
           "\"InstMainDir\"=\"D:\\\\New \\\"x\\\"\tnew\"\r\n" + others + "\r\n" + kAlderLine +
           "\r\n\"AppVersion\"=\"2.1.0\"\r\n\"Fresh\"=\"1\"\r\n\r\n" +
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\Modules]\r\n" +
           "\"Implied\"=\"2\"\r\n\r\n; the end\r\n"},
      // Comments before a deleted key stay.
      {"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\r\n; about B\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\n"
       "; about V\r\n\"V\"=\"1\"\r\n\r\n[HKEY_LOCAL_MACHINE\\C]\r\n",
       [](RegFileRegistry& r) {
         EXPECT_TRUE(r.deleteKey("A\\B"));
         EXPECT_FALSE(r.deleteKey("A\\B"));
       },
       "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n; about B\r\n; about V\r\n\r\n"
       "[HKEY_LOCAL_MACHINE\\C]\r\n"},
      {"REGEDIT4\n\n" + kAlderLine + "\n\"AppVersion\"=\"2.1.0\"\n\"Other\"=\"o\"",
       [](RegFileRegistry& r) {
         EXPECT_TRUE(r.writeValue(kAlder, "appversion", "2.1.1"));
         EXPECT_TRUE(r.writeValue(kAlder, "New", "n"));
       },
       "REGEDIT4\n\n" + kAlderLine +
           "\n\"AppVersion\"=\"2.1.1\"\n\"Other\"=\"o\"\n\"New\"=\"n\"\n"},
      // UTF-16, with a character beyond 16 bits and a lone surrogate, read as UTF-8.
      {test::utf16Bytes(
           u"Windows Registry Editor Version "
           u"5.00\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\Modules\\"
           u"Q-Alder]\r\n\"Odd\"=\"\xD800\"\r\n\"Name\"=\"Q\u00F6 \U0001F333\"\r\n"),
       [](RegFileRegistry& r) {
         EXPECT_EQ(r.readValue(kAlder, "Name"), "Q\xC3\xB6 \xF0\x9F\x8C\xB3");
         EXPECT_TRUE(r.writeValue(kAlder, "Name", "\xC3\xB6"));
       },
       test::utf16Bytes(
           u"Windows Registry Editor Version "
           u"5.00\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\Modules\\"
           u"Q-Alder]\r\n\"Odd\"=\"\xD800\"\r\n\"Name\"=\"\u00F6\"\r\n")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RegFileRegistry::print(RegFileRegistry::parse(c.before, file)), c.before);
    write(c.before);
    c.edit(registry);
    EXPECT_EQ(test::readText(file), c.after);
    // A key made and deleted again leaves the file as it was.
    ASSERT_TRUE(registry.createKey("Catalog\\0"));
    ASSERT_TRUE(registry.deleteKey("Catalog"));
    EXPECT_EQ(test::readText(file), c.after);
  }
}

// A name or text with CR, LF or NUL, a lock that cannot be taken, a text that is
// not UTF-8 or would not read back the same: a failure saying why, the file kept.
TEST_F(RegFileRegistryTest, AChangeThatCannotBeStoredOrAMalformedFileIsAFailureAndLeavesTheFile) {
  const std::string original = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"V\"=\"1\"\r\n";
  write(original);
  const std::string failed = std::to_string(kRegistryStoreFailure) + " ";
  for (const auto& [bad, shown] : {std::pair{'\r', "\\x0D"}, {'\n', "\\x0A"}, {'\0', "\\x00"}}) {
    const std::string with = "a" + std::string(1, bad) + "b";
    const std::string holds = " holds the character " + std::string(shown) + ".";
    EXPECT_EQ(failureOf([&] { registry.createKey("K\\" + with); }),
              failed + "The registry key HKEY_LOCAL_MACHINE\\K\\a" + shown +
                  "b cannot be stored: the key path" + holds);
    EXPECT_EQ(failureOf([&] { registry.writeValue("K", with, "1"); }),
              failed + "The registry value \"a" + shown +
                  "b\" of key HKEY_LOCAL_MACHINE\\K cannot be stored: the value name" + holds);
    EXPECT_EQ(failureOf([&] { registry.writeValue("K", "V", with); }),
              failed + "The registry value \"V\" of key HKEY_LOCAL_MACHINE\\K cannot be " +
                  "stored: the text" + holds);
  }
  EXPECT_EQ(test::readText(file), original);
  EXPECT_FALSE(fs::exists(file.string() + ".lock"));
  fs::create_directory(file.string() + ".lock");
  EXPECT_THROW(registry.createKey("K\\New"), Failure);
  fs::remove(file.string() + ".lock");

  const std::string wide =
      test::utf16Bytes(u"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\K]\r\n");
  write(wide);
  const std::string leftAsItWas =
      failed + "The registry file " + file.string() + " is left as it was: ";
  EXPECT_EQ(failureOf([&] { registry.writeValue("K", "V", "\xE9t\xE9"); }),
            leftAsItWas + "a text to be written is not UTF-8, as UTF-16 text must be.");
  // A surrogate pair encoded in halves turns into one character.
  EXPECT_EQ(failureOf([&] { registry.writeValue("K", "V", "\xED\xA0\xBC\xED\xBC\xB3"); }),
            leftAsItWas + "the changed file would not read back the same.");
  EXPECT_EQ(test::readText(file), wide);

  // A malformed file is a failure naming its line, and is never overwritten.
  const std::string bad =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n"
      "\"InstMainDir\"=\"C:\\\\Main\"\r\nInstMainDir=broken\r\n";
  write(bad);
  const std::string failure = failureOf([&] { registry.writeValue("K", "InstMainDir", "x"); });
  EXPECT_NE(failure.find(file.string() + " cannot be read: line 5:"), std::string::npos) << failure;
  EXPECT_EQ(test::readText(file), bad);

  // A key or a value there twice, letter case aside, which the store would
  // read at its first and an import keep at its last.
  const std::pair<std::string, std::string> twice[] = {
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"V\"=\"1\"\r\n\r\n[hkey_local_machine\\k]\r\n",
       "line 5: the key hkey_local_machine\\k is there twice, on lines 2 and 5"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"AppVersion\"=\"1\"\r\n\"W\"=\"1\"\r\n"
       "\"appversion\"=dword:00000002\r\n",
       "line 5: the value \"appversion\" of key HKEY_LOCAL_MACHINE\\K is there twice, on lines 3 "
       "and 5"}};
  for (const auto& [text, why] : twice) {
    write(text);
    EXPECT_EQ(failureOf([&] { registry.writeValue("K", "W", "2"); }),
              failed + "The registry file " + file.string() + " cannot be read: " + why);
    EXPECT_EQ(test::readText(file), text);
  }

  for (const std::string text :
       {"REGEDIT5\r\n", "Windows Registry Editor Version 5.00\r\n\"A\"=\"1\"\r\n",
        "Windows Registry Editor Version 5.00\r\n[HKEY_X\r\n",
        "Windows Registry Editor Version 5.00\r\n[K]\r\n\"A\"=\"open\r\n",
        "REGEDIT4\r\n[K]\r\n\"A\"=\"a\\\"\r\n\"B\"=\"b\"\r\n",  // regedit skips "A"
        "REGEDIT4\r\n[K]\r\n\"A\"=hex:01,\\\r\n", "\xFF\xFER\0E\0G\0"}) {
    EXPECT_THROW((void)RegFileRegistry::parse(text, file), Failure) << text;
  }
}

}  // namespace
}  // namespace qsi::platform
