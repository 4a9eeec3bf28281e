#include <gtest/gtest.h>

#include <random>
#include <set>

#include "platform/CommandRunner.h"
#include "platform/Failure.h"
#include "platform/FileReplacer.h"
#include "platform/Paths.h"
#include "platform/RegFileRegistry.h"
#include "platform/Registry.h"
#include "platform/win32/Dispatch.h"
#include "platform/win32/WindowsApi.h"
#include "support/Faults.h"
#include "support/Process.h"
#include "support/TestSite.h"

namespace qsi::platform {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// A key of the machine's registry for one test, removed with everything below it.
class RegistryTest : public ::testing::Test {
 protected:
  Win32Registry registry;
  std::string key = "SOFTWARE\\QSolutionInstallerTests\\" + std::to_string(std::random_device{}());
  ~RegistryTest() override { registry.deleteKey(key); }
};

TEST_F(RegistryTest, TextValuesAndSubkeysAreWrittenReadAndDeleted) {
  EXPECT_FALSE(registry.writeValue(key, "InstMainDir", "C:\\Q"));
  EXPECT_EQ(registry.subKeys(key), std::nullopt);  // writing made no key
  ASSERT_TRUE(registry.createKey(key));
  for (const std::string& text : Names{"C:\\Q-Orchard\\Main", "", std::string(1500, 'x')}) {
    EXPECT_TRUE(registry.writeValue(key, "InstMainDir", text));
    EXPECT_EQ(registry.readValue(key + "\\", "instmaindir"), text);  // as the installer asks
  }
  const DWORD number = 16;  // a value of another type is not text
  HKEY open = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &open), 0);
  RegSetValueExA(open, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                 sizeof number);
  RegCloseKey(open);
  EXPECT_EQ(registry.readValue(key, "Count"), std::nullopt);
  const Names values = registry.valueNames(key).value_or(Names{});  // Wine's order is by name
  EXPECT_EQ(std::set<std::string>(values.begin(), values.end()),
            (std::set<std::string>{"Count", "InstMainDir"}));
  EXPECT_EQ(registry.valueNames(key + "\\None"), std::nullopt);
  // What the registry refuses, or would cut at a NUL, is a failure.
  EXPECT_THROW(registry.createKey(key + "\\" + std::string(300, 'k')), Failure);
  EXPECT_THROW(registry.writeValue(key, "Text", std::string("a\0b", 3)), Failure);

  for (const char* name : {"Q-Common\\Deeper", "Q-Alder", "q-birch"})
    ASSERT_TRUE(registry.createKey(key + "\\Modules\\" + name));
  EXPECT_EQ(registry.subKeys(key + "\\Modules\\"), (Names{"Q-Alder", "q-birch", "Q-Common"}));
  EXPECT_TRUE(registry.deleteKey(key + "\\Modules"));
  EXPECT_EQ(registry.subKeys(key + "\\Modules"), std::nullopt);
}

// The real regedit and the file store read each other's files: regedit's
// export (UTF-16, escaped line breaks) reads in the store, a value of each
// type with the type and bytes the registry gives, and what the store writes
// into it imports.
TEST_F(RegistryTest, RegeditAndTheFileStoreReadEachOthersFiles) {
  const test::TestSite site;
  const fs::path file = site.root / "exported.reg";
  const auto regedit = [&](const std::vector<std::string>& args) {
    return test::runProcess(windowsFolder() / "regedit.exe", args, {}, "", site.root).status;
  };
  const std::string lines = "C:\\Q \"1\"\r\nnext";
  ASSERT_TRUE(registry.createKey(key + "\\Sub"));
  ASSERT_TRUE(registry.writeValue(key, "Text", lines));
  const std::pair<std::string, RegistryValue> values[] = {
      {"Version", {kRegSz, std::string("2\0.\0\xE9\0\0\0", 8)}},
      {"Path", {kRegExpandSz, std::string("%\0W\0%\0\0\0", 8)}},
      {"Count", {kRegDword, std::string("\x10\0\0\0", 4)}},
      {"List", {kRegMultiSz, std::string("a\0\0\0b\0\0\0\0\0", 10)}},
      {"Blob", {kRegBinary, "\x01\x02\xFF"}}};
  HKEY open = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &open), 0);
  for (const auto& [name, value] : values)
    RegSetValueExW(open, toWide(name).c_str(), 0, value.type,
                   reinterpret_cast<const BYTE*>(value.data.data()),
                   static_cast<DWORD>(value.data.size()));
  RegCloseKey(open);
  ASSERT_EQ(regedit({"/E", file.string(), "HKEY_LOCAL_MACHINE\\" + key}), 0);
  RegFileRegistry store(file);
  EXPECT_EQ(store.readValue(key, "Text"), lines);
  for (const auto& [name, value] : values) {
    EXPECT_EQ(registry.readRawValue(key, name), value) << name;
    EXPECT_EQ(store.readRawValue(key, name), value) << name;
    EXPECT_EQ(registry.readValue(key, name).has_value(), value.type == kRegSz) << name;
  }

  ASSERT_TRUE(store.writeValue(key + "\\Sub", "Fresh", "D:\\New \"x\""));
  EXPECT_TRUE(test::readText(file).starts_with("\xFF\xFE"));
  ASSERT_TRUE(registry.deleteKey(key));
  ASSERT_EQ(regedit({"/S", file.string()}), 0);
  EXPECT_EQ(registry.readValue(key, "Text"), lines);
  EXPECT_EQ(registry.readValue(key + "\\Sub", "Fresh"), "D:\\New \"x\"");
}

TEST(Win32CommandRunner, ReturnsTheExitCodeAnd127WhenTheProgramCannotStart) {
  Win32CommandRunner runner;
  const auto code = [&](const std::string& command) { return runner.run(command).exitCode; };
  const test::TestSite site;
  const fs::path folder = site.root / "Q-Orchard Solution Installer";
  fs::create_directories(folder);
  fs::copy_file(QSI_STUB_STOP_EXE, folder / "stop.exe");
  EXPECT_EQ(code(quoteCommandWord((folder / "stop.exe").string()) + " qosvc01.exe"), 0);
  EXPECT_EQ(code("cmd /c exit 3"), 3);
  EXPECT_EQ(code("qsi-no-such-program-here arg"), kCommandNotStarted);
  EXPECT_EQ(runner.run("qsi-no-such").notStarted, std::system_category().message(2));  // the text
  EXPECT_EQ(code((folder / "missing.exe").string()), kCommandNotStarted);
  testing::internal::CaptureStdout();  // the command has no window and none of our output
  EXPECT_EQ(code("cmd /c echo leaked"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  // A net.exe beside the program or in the current folder never stands in for the system's.
  const fs::path calls = site.root / "calls.txt";
  ASSERT_EQ(SetEnvironmentVariableA("QSI_STUB_CALLS", calls.string().c_str()), TRUE);
  const fs::path besideUs = test::currentProgram().parent_path() / "net.exe";
  fs::copy_file(QSI_STUB_STOP_EXE, besideUs, fs::copy_options::overwrite_existing);
  fs::copy_file(QSI_STUB_STOP_EXE, folder / "net.exe");
  ASSERT_EQ(SetCurrentDirectoryA(folder.string().c_str()), TRUE);
  EXPECT_EQ(programPath("net"), systemFolder() / "net.exe");
  (void)runner.run("net stop W3SVC /y");
  EXPECT_EQ(programPath("stop.exe"), std::nullopt);
  EXPECT_EQ(code("stop.exe qosvc01.exe"), kCommandNotStarted);
  SetCurrentDirectoryA(site.root.string().c_str());
  fs::remove(besideUs);
  SetEnvironmentVariableA("QSI_STUB_CALLS", nullptr);
  EXPECT_FALSE(fs::exists(calls));
}

// A new file takes the source's attributes; a replaced read-only file loses
// every attribute, any other keeps its own.
TEST(Win32FileReplacer, ReplacesWholeGivesNewFilesTheSourcesAttributesAndLeavesNoTemporaryFile) {
  const test::TestSite site;
  const fs::path source = site.write("pkg/page.asp", "new");
  const fs::path old = site.instMainDir / "old.asp";
  const auto attributes = [](const fs::path& file) {
    return GetFileAttributesA(file.string().c_str()) &
           (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  };
  Win32FileReplacer files;
  SetFileAttributesA(source.string().c_str(), FILE_ATTRIBUTE_READONLY);
  files.replaceWithCopy(source, site.instMainDir / "fresh.asp");
  EXPECT_EQ(attributes(site.instMainDir / "fresh.asp"), DWORD{FILE_ATTRIBUTE_READONLY});
  const std::pair<DWORD, DWORD> cases[] = {
      // before, after
      {FILE_ATTRIBUTE_NORMAL, 0},
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 0},
      {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN,
       FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN},
  };
  for (const auto& [before, after] : cases) {
    site.write("inst/old.asp", "old");
    SetFileAttributesA(old.string().c_str(), before);
    files.replaceWithCopy(source, old);
    EXPECT_EQ(test::readText(old), "new") << before;
    EXPECT_EQ(attributes(old), after) << before;
    SetFileAttributesA(old.string().c_str(), FILE_ATTRIBUTE_NORMAL);
  }

  EXPECT_EQ(test::thrownText([&] { files.replaceWithCopy(site.root / "pkg" / "gone.asp", old); }),
            "cannot copy to " + old.string() + ": " + std::system_category().message(2));  // once
  EXPECT_EQ(test::readText(old), "new");
  EXPECT_EQ(test::treeText(site.instMainDir), "fresh.asp = new\nold.asp = new\n");
}

// Put back as an undo does, over a file made read-only since, a replaced
// read-only file gets its bytes and its attributes again.
TEST(Win32FileReplacer, PutsBackAReadOnlyFileWithItsAttributes) {
  const test::TestSite site;
  const fs::path old = site.write("inst/old.asp", "old");
  SetFileAttributesA(old.string().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  const auto recorded = attributesOf(old);
  ASSERT_TRUE(recorded);
  EXPECT_EQ(parseAttributes(attributesText(*recorded)), recorded);
  EXPECT_EQ(parseAttributes("21"), std::nullopt);
  Placement placement;
  placement.source = site.write("pkg/old.asp", "new");
  placement.destination = old;
  placement.backup = site.root / "kept";
  Win32FileReplacer files;
  makeWritable(old);
  files.placeAll(std::span(&placement, 1), site.instMainDir, nullptr);
  ASSERT_TRUE(placement.placed()) << placement.error;
  SetFileAttributesA(old.string().c_str(), FILE_ATTRIBUTE_READONLY);
  files.putBack(placement.backup, old);
  applyAttributes(old, *recorded);
  EXPECT_EQ(test::readText(old), "old");
  EXPECT_EQ(GetFileAttributesA(old.string().c_str()) &
                (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
  EXPECT_FALSE(fs::exists(placement.backup));
}

}  // namespace
}  // namespace qsi::platform
