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

class RegFileRegistryTest : public ::testing::Test {
 protected:
  test::TestSite site;
  fs::path file = site.root / "store.reg";
  RegFileRegistry registry{file};

  void write(std::string_view text) const { site.write("store.reg", text); }
};

// The bytes of UTF-16 LE text with its byte-order mark, as regedit exports.
std::string utf16(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

TEST_F(RegFileRegistryTest, ReadsValuesKeysAndSubkeysOfAnExportFile) {
  write(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "; made by hand\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]\r\n"
      "\"InstMainDir\"=\"C:\\\\Q-Orchard\\\\Main\"\r\n"
      // As regedit imports: \n and \r are LF and CR, another escaped
      // character stands for itself, and a value with \0 is not imported.
      "\"Escapes\"=\"\\\" \\n \\r \\t \\x\"\r\n"
      "\"Nul\"=\"a\\0b\\\\\"\r\n"
      "\"N\\tame\"=\"1\"\r\n"
      "\"Count\"=dword:00000010\r\n"
      "\"Blob\"=hex:01,02,\\\r\n  03,\\\r\n  04\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\"
      "Modules\\q-common]\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\"
      "Modules\\Q-Alder\\Deeper]\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\Empty]\r\n");
  EXPECT_EQ(registry.readValue(kSuite, "InstMainDir"), "C:\\Q-Orchard\\Main");
  EXPECT_EQ(registry.readValue("software\\corvane\\CORVANE Q-ORCHARD\\", "instmaindir"),
            "C:\\Q-Orchard\\Main");
  EXPECT_EQ(registry.readValue(kSuite, "Escapes"), "\" \n \r t x");
  EXPECT_EQ(registry.readValue(kSuite, "Nul"), std::nullopt);
  EXPECT_EQ(registry.readValue(kSuite, "Ntame"), "1");
  EXPECT_EQ(registry.readValue(kSuite, "Count"), std::nullopt);  // not text
  EXPECT_EQ(RegFileRegistry::parse(test::readText(file), file).keys[0].values.back().data,
            "hex:01,02,03,04");
  EXPECT_EQ(registry.readValue(kSuite, "Missing"), std::nullopt);
  EXPECT_EQ(registry.readValue("SOFTWARE\\Nowhere", "InstMainDir"), std::nullopt);

  // Parents of written keys exist; subkeys come in name order, case kept.
  const auto modules =
      registry.subKeys(std::string(kSuite) + "\\ConfigTypes\\WebServerConfig\\Modules");
  ASSERT_TRUE(modules);
  EXPECT_EQ(*modules, (std::vector<std::string>{"Q-Alder", "q-common"}));
  EXPECT_EQ(registry.subKeys(std::string(kSuite) + "\\Empty"), std::vector<std::string>{});
  EXPECT_EQ(registry.subKeys("SOFTWARE\\Nowhere"), std::nullopt);
}

// What the installer does not write stays byte for byte: only its own values
// are printed anew, in the file's line ends and encoding.
TEST_F(RegFileRegistryTest, WritesOnlyExistingKeysAndKeepsEveryOtherByte) {
  const std::string suiteKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]";
  const std::string alderKey = "[HKEY_LOCAL_MACHINE\\" + kAlder + "]";
  const std::string others =
      "\"Blob\"=hex:01,02,\\\r\n"
      "  03,04\r\n"
      "\"Path\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      "\"List\"=hex(7):61,00,00,00,\\\r\n"
      "; between the lines of a value\r\n"
      "  00,00\r\n"
      "# regedit's other comment\r\n"
      "\"Count\"=dword:00000010\r\n"
      "\"Tab\"=\"a\\tb\\u\" ; regedit reads past this comment\r\n";
  const std::function<void(RegFileRegistry&)> writeThree = [&](RegFileRegistry& r) {
    EXPECT_TRUE(r.writeValue(kSuite, "InstMainDir", "D:\\New \"x\"\tnew"));
    EXPECT_TRUE(r.writeValue(kAlder, "Fresh", "1"));
    EXPECT_TRUE(r.writeValue(std::string(kSuite) + "\\Modules", "Implied", "2"));
    EXPECT_FALSE(r.writeValue(std::string(kSuite) + "\\Modules\\Q-Birch", "AppVersion", "1"));
  };
  const struct {
    std::string before;
    std::function<void(RegFileRegistry&)> edit;
    std::string after;
  } cases[] = {
      {"Windows Registry Editor Version 5.00\r\n\r\n; made by hand\r\n" + suiteKey + "\r\n" +
           "@=\"default\"\r\n\"InstMainDir\"=\"C:\\\\Main\"\r\n" + others + "\r\n" + alderKey +
           "\r\n\"AppVersion\"=\"2.1.0\"\r\n\r\n; the end\r\n",
       writeThree,
       "Windows Registry Editor Version 5.00\r\n\r\n; made by hand\r\n" + suiteKey + "\r\n" +
           "@=\"default\"\r\n\"InstMainDir\"=\"D:\\\\New \\\"x\\\"\tnew\"\r\n" + others + "\r\n" +
           alderKey + "\r\n\"AppVersion\"=\"2.1.0\"\r\n\"Fresh\"=\"1\"\r\n" +
           "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\Modules]\r\n" +
           "\"Implied\"=\"2\"\r\n\r\n; the end\r\n"},
      // Comments before a deleted key stay.
      {"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\r\n; about B\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\n"
       "; about V\r\n\"V\"=\"1\"\r\n\r\n[HKEY_LOCAL_MACHINE\\C]\r\n; about D\r\n"
       "[HKEY_LOCAL_MACHINE\\C\\D]\r\n",
       [](RegFileRegistry& r) {
         EXPECT_TRUE(r.deleteKey("A\\B"));
         EXPECT_FALSE(r.deleteKey("A\\B"));
         EXPECT_TRUE(r.deleteKey("C\\D"));
       },
       "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n; about B\r\n; about V\r\n\r\n"
       "[HKEY_LOCAL_MACHINE\\C]\r\n; about D\r\n"},
      {"REGEDIT4\n\n" + alderKey + "\n\"AppVersion\"=\"2.1.0\"\n\"Other\"=\"o\"",
       [](RegFileRegistry& r) {
         EXPECT_TRUE(r.writeValue(kAlder, "appversion", "2.1.1"));
         EXPECT_TRUE(r.writeValue(kAlder, "New", "n"));
       },
       "REGEDIT4\n\n" + alderKey + "\n\"AppVersion\"=\"2.1.1\"\n\"Other\"=\"o\"\n\"New\"=\"n\"\n"},
      // A last line ended by a lone CR gets its LF, not a second CR.
      {"REGEDIT4\r\n" + alderKey + "\r\n\"Other\"=\"o\"\r",
       [](RegFileRegistry& r) { EXPECT_TRUE(r.writeValue(kAlder, "New", "n")); },
       "REGEDIT4\r\n" + alderKey + "\r\n\"Other\"=\"o\"\r\n\"New\"=\"n\"\r\n"},
      {"\xEF\xBB\xBF\nREGEDIT4\n" + alderKey + "\n",
       [](RegFileRegistry& r) { EXPECT_TRUE(r.writeValue(kAlder, "", "d")); },
       "\xEF\xBB\xBF\nREGEDIT4\n" + alderKey + "\n@=\"d\"\n"},
      // As regedit exports: UTF-16 with characters beyond 16 bits and a lone
      // surrogate; what it reads is UTF-8.
      {utf16(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\"
             u"Corvane\\Corvane Q-Orchard\\Modules\\Q-Alder]\r\n\"Odd\"=\"\xD800\"\r\n"
             u"\"Name\"=\"Q\u00F6 \U0001F333\"\r\n\r\n"),
       [](RegFileRegistry& r) {
         EXPECT_EQ(r.readValue(kAlder, "Name"), "Q\xC3\xB6 \xF0\x9F\x8C\xB3");
         EXPECT_TRUE(r.writeValue(kAlder, "Name", "\xC3\xB6"));
       },
       utf16(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\"
             u"Corvane\\Corvane Q-Orchard\\Modules\\Q-Alder]\r\n\"Odd\"=\"\xD800\"\r\n"
             u"\"Name\"=\"\u00F6\"\r\n\r\n")},
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

TEST_F(RegFileRegistryTest, CrLfAndNulAreRefusedBeforeAnythingIsWritten) {
  const std::string original = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"V\"=\"1\"\r\n";
  write(original);
  const auto content = RegFileRegistry::parse(original, file);
  for (const char bad : {'\r', '\n', '\0'}) {
    const std::string with = "a" + std::string(1, bad) + "b";
    const std::string shown = bad == '\r' ? "\\x0D" : bad == '\n' ? "\\x0A" : "\\x00";
    const struct {
      std::function<void()> store;
      std::string description;
    } cases[] = {
        {[&] { registry.createKey("K\\" + with); },
         "The registry key HKEY_LOCAL_MACHINE\\K\\a" + shown + "b cannot be stored: the key path"},
        {[&] { registry.writeValue("K", with, "1"); },
         "The registry value \"a" + shown +
             "b\" of key HKEY_LOCAL_MACHINE\\K cannot be stored: the value name"},
        {[&] { registry.writeValue("K", "V", with); },
         "The registry value \"V\" of key HKEY_LOCAL_MACHINE\\K cannot be stored: the text"},
        {[&] {
           auto copy = content;
           RegFileRegistry::setValue(copy, "K", "V", with);
         },
         "The registry value \"V\" of key HKEY_LOCAL_MACHINE\\K cannot be stored: the text"},
    };
    for (const auto& c : cases) {
      try {
        c.store();
        ADD_FAILURE() << c.description;
      } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), kRegistryStoreFailure);
        EXPECT_EQ(failure.source(), "RegFileRegistry");
        EXPECT_EQ(failure.description(), c.description + " holds the character " + shown + ".");
      }
    }
  }
  EXPECT_EQ(test::readText(file), original);
  EXPECT_FALSE(fs::exists(file.string() + ".lock"));
  auto copy = content;  // setValue, as writeValue, makes no key
  EXPECT_FALSE(RegFileRegistry::setValue(copy, "Nowhere", "V", "1"));
}

// A change that cannot be stored throws, names the file and leaves it as it
// was: the lock cannot be taken, or the text would not read back the same.
TEST_F(RegFileRegistryTest, AChangeThatCannotBeStoredIsAFailureAndLeavesTheFile) {
  const std::string original = utf16(u"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n");
  write(original);
  fs::create_directory(file.string() + ".lock");
  EXPECT_THROW(registry.createKey("K\\New"), Failure);
  fs::remove(file.string() + ".lock");
  const std::pair<std::string, std::string> cases[] = {
      {"\xE9t\xE9", "a text to be written is not UTF-8, as UTF-16 text must be."},
      // A surrogate pair encoded in halves turns into one character.
      {"\xED\xA0\xBC\xED\xBC\xB3", "the changed file would not read back the same."}};
  for (const auto& [text, why] : cases) {
    try {
      registry.writeValue("K", "V", text);
      ADD_FAILURE() << text;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), kRegistryStoreFailure);
      EXPECT_EQ(failure.description(),
                "The registry file " + file.string() + " is left as it was: " + why);
    }
  }
  EXPECT_EQ(test::readText(file), original);
}

TEST_F(RegFileRegistryTest, AMalformedFileIsAFailureNamingTheLineAndIsNeverOverwritten) {
  const std::string bad =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]\r\n"
      "\"InstMainDir\"=\"C:\\\\Main\"\r\n"
      "InstMainDir=broken\r\n";
  write(bad);
  try {
    (void)registry.readValue(kSuite, "InstMainDir");
    FAIL() << "a malformed file must not read";
  } catch (const Failure& failure) {
    EXPECT_NE(failure.description().find("line 5"), std::string::npos) << failure.description();
    EXPECT_NE(failure.description().find(file.string()), std::string::npos);
  }
  EXPECT_THROW(registry.writeValue(kSuite, "InstMainDir", "x"), Failure);
  EXPECT_EQ(test::readText(file), bad);

  for (const std::string text :
       {"REGEDIT5\r\n", "Windows Registry Editor Version 5.00\r\n\"A\"=\"1\"\r\n",
        "Windows Registry Editor Version 5.00\r\n[HKEY_X\r\n",
        "Windows Registry Editor Version 5.00\r\n[K]\r\n\"A\"=\"open\r\n",
        "REGEDIT4\r\n[K]\r\n\"A\"=\"a\\\"\r\n\"B\"=\"b\"\r\n",  // regedit skips "A"
        "REGEDIT4\r\n[K]\r\n\"A\"=hex:01,\\\r\n", "\xFF\xFER\0E\0G\0"}) {
    EXPECT_THROW((void)RegFileRegistry::parse(text, file), Failure) << text;
  }
}

TEST_F(RegFileRegistryTest, AMissingFileIsAnEmptyRegistryThatNothingCanBeWrittenTo) {
  EXPECT_EQ(registry.readValue(kSuite, "InstMainDir"), std::nullopt);
  EXPECT_EQ(registry.subKeys(kSuite), std::nullopt);
  EXPECT_FALSE(registry.writeValue(kSuite, "InstMainDir", "x"));
  RegFileRegistry elsewhere(site.root / "no folder" / "store.reg");  // no lock to take there
  EXPECT_FALSE(elsewhere.writeValue(kSuite, "InstMainDir", "x"));
  EXPECT_FALSE(elsewhere.deleteKey(kSuite));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(registry.createKey(std::string(kSuite) + "\\Catalog\\Packages\\1"));
  EXPECT_TRUE(registry.writeValue(std::string(kSuite) + "\\Catalog\\Packages\\1", "Name", "Q"));
  EXPECT_TRUE(registry.deleteKey(std::string(kSuite) + "\\Catalog"));
  EXPECT_EQ(registry.subKeys(kSuite), std::vector<std::string>{});
  EXPECT_EQ(test::readText(file),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]\r\n");
}

}  // namespace
}  // namespace qsi::platform
