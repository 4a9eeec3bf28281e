#include <gtest/gtest.h>

#include "platform/Failure.h"
#include "platform/RegFileRegistry.h"
#include "support/TestSite.h"

namespace qsi::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSuite = "SOFTWARE\\Corvane\\Corvane Q-Orchard";

class RegFileRegistryTest : public ::testing::Test {
 protected:
  test::TestSite site;
  fs::path file = site.root / "store.reg";
  RegFileRegistry registry{file};

  void write(std::string_view text) const { site.write("store.reg", text); }
};

TEST_F(RegFileRegistryTest, ReadsValuesKeysAndSubkeysOfAnExportFile) {
  write(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "; made by hand\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]\r\n"
      "\"InstMainDir\"=\"C:\\\\Q-Orchard\\\\Main\"\r\n"
      "\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
      "\"Count\"=dword:00000010\r\n"
      "\"Blob\"=hex:01,02,\\\r\n  03,04\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\"
      "Modules\\q-common]\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\"
      "Modules\\Q-Alder\\Deeper]\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\Empty]\r\n");
  EXPECT_EQ(registry.readValue(kSuite, "InstMainDir"), "C:\\Q-Orchard\\Main");
  EXPECT_EQ(registry.readValue("software\\corvane\\CORVANE Q-ORCHARD\\", "instmaindir"),
            "C:\\Q-Orchard\\Main");
  EXPECT_EQ(registry.readValue(kSuite, "Quoted"), "say \"hi\"");
  EXPECT_EQ(registry.readValue(kSuite, "Count"), std::nullopt);  // not text
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

TEST_F(RegFileRegistryTest, WritesOnlyExistingKeysAndKeepsOtherContent) {
  write(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\Modules\\Q-Alder]\r\n"
      "\"AppVersion\"=\"2.1.0\"\r\n\"Blob\"=hex:01,02\r\n"
      "[HKEY_CURRENT_USER\\Other]\r\n\"Keep\"=\"me\"\r\n");
  const std::string alder = std::string(kSuite) + "\\Modules\\Q-Alder";
  EXPECT_TRUE(registry.writeValue(alder, "appversion", "2.1.1 \"new\" \\ path"));
  EXPECT_TRUE(registry.writeValue(std::string(kSuite) + "\\Modules", "Implicit", "parent"));
  EXPECT_FALSE(registry.writeValue(std::string(kSuite) + "\\Modules\\Q-Birch", "AppVersion", "1"));

  RegFileRegistry reread(file);  // a fresh reader sees exactly what was written
  EXPECT_EQ(reread.readValue(alder, "AppVersion"), "2.1.1 \"new\" \\ path");
  EXPECT_EQ(reread.readValue(std::string(kSuite) + "\\Modules", "Implicit"), "parent");
  EXPECT_EQ(reread.subKeys(std::string(kSuite) + "\\Modules"), std::vector<std::string>{"Q-Alder"});
  const std::string text = test::readText(file);
  EXPECT_NE(text.find("\"Blob\"=hex:01,02\r\n"), std::string::npos);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Other]\r\n\"Keep\"=\"me\"\r\n"), std::string::npos);
  EXPECT_EQ(RegFileRegistry::print(RegFileRegistry::parse(text, file)), text);
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

  for (const char* text :
       {"REGEDIT5\r\n", "Windows Registry Editor Version 5.00\r\n\"A\"=\"1\"\r\n",
        "Windows Registry Editor Version 5.00\r\n[HKEY_X\r\n",
        "Windows Registry Editor Version 5.00\r\n[K]\r\n\"A\"=\"open\r\n"}) {
    EXPECT_THROW((void)RegFileRegistry::parse(text, file), Failure) << text;
  }
}

TEST_F(RegFileRegistryTest, AChangeThatCannotBeStoredIsAFailureAndLeavesTheFile) {
  const std::string original = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n";
  write(original);
  fs::create_directory(file.string() + ".lock");
  EXPECT_THROW(registry.createKey("K\\New"), Failure);
  EXPECT_EQ(test::readText(file), original);
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
}

}  // namespace
}  // namespace qsi::platform
