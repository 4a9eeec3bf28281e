#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "actions/FileInstallation.h"
#include "log/CLog.h"
#include "platform/MtsCatalog.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "support/Faults.h"
#include "support/Process.h"
#include "support/TestSite.h"

// File entries name only the fields that a case needs.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace qsi::actions {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// Records COM calls with the installed file's content at that moment.
struct RecordingCom final : platform::ComRegistrar {
  Strings calls;
  void registerComponent(const fs::path& dll) override { note("register", dll); }
  void unregisterComponent(const fs::path& dll) override { note("unregister", dll); }
  void note(const std::string& what, const fs::path& dll) {
    calls.push_back(what + " " + dll.filename().string() + " [" + test::readText(dll) + "]");
  }
};

// A catalog that notes, at the start of each use, what `snapshot` says.
struct SnapshotCatalog final : platform::MtsCatalog {
  platform::MtsCatalog& inner;
  std::function<std::string()> snapshot = [] { return std::string(); };
  Strings notes;
  explicit SnapshotCatalog(platform::MtsCatalog& catalog) : inner(catalog) {}
  std::unique_ptr<platform::CatalogCollection> getCollection(std::string_view name) override {
    notes.push_back(snapshot());
    return inner.getCollection(name);
  }
};

class FileInstallationTest : public ::testing::Test {
 protected:
  test::TestSite site;
  platform::Environment& env = site.env;
  platform::NativeCommandRunner commands;
  RecordingCom com;
  platform::RegistryMtsCatalog store{site.registry};
  SnapshotCatalog mts{store};
  test::FaultyFileReplacer files;  // the native one until a test says otherwise
  ActionServices services{commands, com, mts, files};
  solution::SolutionInfo info;
  fs::path inst = site.instMainDir;

  // The run as the plan of `info` has it, told to a journal of its own.
  InstallationResult install() {
    const InstallationPlan plan{.files = planFiles(info.files, info.modules, {}, inst)};
    journal::Journal journal(inst / "QOJournal" / env.stamp.runFolder);
    return installFiles(env, services, inst, info,
                        solution::SolutionFolders::beside(site.installer), plan, journal);
  }
  [[nodiscard]] std::string shown(std::string_view dataPath) const {
    return platform::displayPath(platform::joinDataPath(inst, dataPath));
  }
  // A log's lines below its header.
  [[nodiscard]] std::string logLines(std::string_view section) const {
    const std::string text = site.logText(section);
    return text.substr(text.find("\r\n\r\n") + 4);
  }
};

// The copy and component logs are compared whole by the end-to-end run.
TEST_F(FileInstallationTest, TakesEachFileFromItsPlaceInThePackage) {
  // Where the scan found it; the QO11 and QCedar rules stand in when it does not say.
  const struct {
    std::string path, package, packagePath;
  } cases[] = {{"QO11\\default.asp", "Web/default.asp", ""},
               {"Components\\QCedar\\Backend.dll", "Components/QBackend/Backend.dll", ""},
               {"Components\\QAlder\\Deep.dll", "Components/QAlder/sub/deeper/Deep.dll",
                "Components\\QAlder\\sub\\deeper\\Deep.dll"}};
  // A read-only file is replaced, and stays read-only (on Windows it is made
  // normal first: an undo gives it its attributes back).
  fs::permissions(site.write("inst/Components/QCedar/Backend.dll", "old"), fs::perms::owner_read);
  site.writePackage("Web/skipped.asp", "skipped");
  info.files.push_back({.path = "QO11\\skipped.asp", .customized = true, .isMTSComponent = true});
  for (const auto& c : cases) {
    site.writePackage(c.package, c.package);
    info.files.push_back({.path = c.path,
                          .install = true,
                          .isCOMComponent = c.path.ends_with("Backend.dll"),
                          .packagePath = c.packagePath});
  }
  install();

  for (const auto& c : cases)
    EXPECT_EQ(test::readText(platform::joinDataPath(inst, c.path)), c.package);
#ifndef _WIN32
  EXPECT_EQ(fs::status(inst / "Components/QCedar/Backend.dll").permissions(),
            fs::perms::owner_read);
#endif
  EXPECT_FALSE(fs::exists(inst / "QO11/skipped.asp"));
  EXPECT_TRUE(mts.notes.empty());
  EXPECT_EQ(com.calls, (Strings{"unregister Backend.dll [old]",
                                "register Backend.dll [Components/QBackend/Backend.dll]"}));
  EXPECT_EQ(site.ui.progressDetail, cases[2].path);
}

TEST_F(FileInstallationTest, ACustomizedMtsComponentIsSavedRemovedReplacedAndInstalledAgain) {
  const fs::path dll = site.write("inst/Components/QOCommon/Shared.dll", "customized");
  site.write("inst/QO11/Q-Alder/page.asp", "my page");
  site.writePackage("Components/QOCommon/Shared.dll", "shipped");
  site.writePackage("Web/Q-Alder/page.asp", "first page");
  site.writePackage("Web/Q-Alder/v2/page.asp", "new page");
  // Stored in capitals: only a removal and a new installation store the exact path.
  const std::string key = std::string(platform::RegistryMtsCatalog::kPackagesKey) + "\\{P}";
  site.writeRegistry(
      "[HKEY_LOCAL_MACHINE\\" + key + "]\r\n\"Name\"=\"Q-Orchard\"\r\n[HKEY_LOCAL_MACHINE\\" + key +
      "\\Components\\0]\r\n\"DLL\"=\"" + test::regText(platform::toUpper(dll.string())) + "\"\r\n");
  const fs::path saved = customizedFilesFolder(env, inst);
  mts.snapshot = [&] {
    return test::readText(dll) +
           (fs::exists(saved / "Components/QOCommon/Shared.dll") ? ", saved" : "");
  };
  info.files = {{.path = "Components\\QOCommon\\Shared.dll",
                 .install = true,
                 .customized = true,
                 .isMTSComponent = true},
                // Saved as a customization is: the Metabase could not tell.
                {.path = "QO11\\Q-Alder\\page.asp", .install = true, .metabaseLookupFailed = true},
                // A path installed twice is saved once, before its first replacement.
                {.path = "QO11\\Q-Alder\\page.asp",
                 .install = true,
                 .customized = true,
                 .packagePath = "Web\\Q-Alder\\v2\\page.asp"}};
  const InstallationResult result = install();

  // Each catalog use (the journal's reading too) is after the save, installing after the copy.
  EXPECT_EQ(mts.notes, (Strings{"customized, saved", "customized, saved", "shipped, saved",
                                "shipped, saved"}));
  EXPECT_EQ(site.registry.subKeys(key + "\\Components"), Strings{"0"});
  EXPECT_EQ(site.registry.readValue(key + "\\Components\\0", "DLL"), dll.string());
  EXPECT_EQ(test::readText(saved / "Components/QOCommon/Shared.dll"), "customized");
  EXPECT_EQ(test::readText(saved / "QO11/Q-Alder/page.asp"), "my page");
  EXPECT_EQ(test::readText(inst / "QO11/Q-Alder/page.asp"), "new page");
  EXPECT_EQ(result.installed, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(result.savedFiles, 2u);
  EXPECT_NE(logLines(kCopyLog).find("  Installed again, from Web\\Q-Alder\\v2\\page.asp -> " +
                                    shown("QO11\\Q-Alder\\page.asp")),
            std::string::npos);
}

// Every installed file is read back, a library too, unless the package marks
// it "0": one not as shipped is logged and counts as failed.
TEST_F(FileInstallationTest, AFileChangedBetweenCopyAndCheckFailsItsVerification) {
  files.after = [](std::span<platform::Placement> batch) {
    for (const platform::Placement& placement : batch)
      if (placement.destination.filename() == "b.asp") std::ofstream(placement.destination) << "x";
  };
  site.writePackage("Web/a.asp", "abc");
  site.writePackage("Web/b.asp", "abc");
  site.writePackage("Web/c.dll", "abc");
  info.files = {{.path = "QO11\\a.asp", .install = true, .solutionChecksum = "CADB"},
                {.path = "QO11\\b.asp", .module = "Q-Birch", .install = true},
                {.path = "QO11\\c.dll", .install = true, .solutionChecksum = "0"}};
  const InstallationResult result = install();
  EXPECT_EQ(result.installed, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(result.failedVerifications, 1u);
  EXPECT_EQ(result.failedModules, std::set<std::string>{"Q-Birch"});
  EXPECT_EQ(logLines(kVerifyLog), "  Not as shipped -> " + shown("QO11\\b.asp") +
                                      ": it changed after it was put in place\r\n");
  // A shipped checksum the file does not have is found too, a library's as well.
  files.after = [](auto) {};
  info.files[0].solutionChecksum = "BEEF";
  info.files[2].solutionChecksum = "CADB";
  EXPECT_EQ(install().installed, (std::vector<bool>{false, true, true}));
  EXPECT_TRUE(logLines(kVerifyLog)
                  .ends_with("  Not as shipped -> " + shown("QO11\\a.asp") +
                             ": its checksum is CADB, the package ships BEEF\r\n"));
}

TEST_F(FileInstallationTest, FailedCopiesAreLoggedAndACustomizedFileThatCannotBeSavedStays) {
  site.write("inst/QOCustomized", "a file where the saved copies should go");
  site.write("inst/QO11/mine.asp", "my work");
  site.writePackage("Web/mine.asp", "shipped");
  site.writePackage("Web/other.asp", "other");
  site.write("inst/QO11/folder.asp/inside", "");  // a copy onto a folder
  site.writePackage("Classes/org/Tool.class", "new class");
  const test::ScopedEnv windows("WINDIR", (site.root / "windows").string());
  site.write("windows/java/Classes/org/Tool.class", "old class");
  info.files = {{.path = "QO11\\mine.asp", .install = true, .customized = true},
                {.path = "QO11\\folder.asp", .install = true},
                {.path = "QO11\\other.asp", .install = true}};
  install();

  EXPECT_EQ(test::readText(inst / "QO11/mine.asp"), "my work");
  EXPECT_EQ(test::readText(inst / "QO11/other.asp"), "other");
  EXPECT_EQ(test::readText(site.root / "windows/java/Classes/org/Tool.class"), "new class");
  const std::string savedPath = platform::displayPath(
      platform::joinDataPath(customizedFilesFolder(env, inst), "QO11\\mine.asp"));
  EXPECT_TRUE(logLines(kCopyLog).starts_with(
      "  Error while Copying the file to: " + savedPath + " -> " + savedPath +
      ": Not a directory\r\n  Not replaced, its customized copy could not be saved -> " +
      shown("QO11\\mine.asp") + "\r\n  Error while Copying the file to: " +
      shown("QO11\\folder.asp") + ": Is a directory\r\n"));
  EXPECT_EQ(site.ui.boxes.size(), 2u);

  // A Java folder that cannot be written gives its one line; files still go in.
  const test::ScopedEnv blocked("WINDIR", site.write("not-a-folder", "").string());
  fs::remove(inst / "QO11/other.asp");
  info.files = {{.path = "QO11\\other.asp", .install = true}};
  install();
  EXPECT_EQ(test::readText(inst / "QO11/other.asp"), "other");
  EXPECT_NE(logLines(kCopyLog).find("  Error copying the Java Classes: cannot make the folder " +
                                    platform::displayPath(site.root / "not-a-folder/java") +
                                    ": Not a directory\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace qsi::actions

#pragma GCC diagnostic pop
