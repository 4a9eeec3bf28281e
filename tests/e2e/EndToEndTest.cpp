#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <regex>
#include <thread>

#include "actions/Services.h"
#include "actions/Undo.h"
#include "checksum/Checksum.h"
#include "e2e/EndToEnd.h"
#include "journal/Journal.h"

namespace qsi::test {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

// Retrieve (password, two boxes), both reports, Start, closing box.
const std::string kInstall = "1\nsecret\n\n\n\n3\n\n4\n\n2\n\n";

// Apart from the paths and the date, the logs read the same on every platform.
TEST_F(EndToEnd, AServicePackInstallsRecordsAndLogsTheSameOnEveryPlatform) {
  writePackage("ServicePack");
  const ProcessResult result = run(kInstall);
  ASSERT_EQ(result.status, 0) << result.out << result.err;

  EXPECT_EQ(readText(site.instMainDir / "QO11/Q-Alder/default.asp"), kNewPage);
  EXPECT_EQ(readText(site.instMainDir / "QOCustomized" / runLogs().filename() /
                     "QO11/Q-Alder/default.asp"),
            kOurPage);
  EXPECT_EQ(readText(site.instMainDir / "Components/QAlder/Bramble.dll"), "new component");
  EXPECT_EQ(sources.rows("QAlder", "SELECT NAME FROM SETTINGS ORDER BY rowid"),
            (Rows{{"b"}, {"a"}}));
  EXPECT_EQ(
      sources.rows("QOMetabase",
                   "SELECT OBJECT, CHECKSUM FROM OBJECT WHERE MACHINE='WEB01' ORDER BY OBJECT"),
      (Rows{{"Components\\QAlder\\Bramble.dll", ""},
            {"QO11\\Q-Alder\\default.asp", checksumOf(kNewPage)}}));
  EXPECT_EQ(appVersion("WebServer"), "2.1.1");
  EXPECT_EQ(appVersion("DbServer"), "2.1.1");

  // The plan is offered with Start; the closing box names this run's folders.
  const auto planOffered = result.out.find("  4  View Installation Plan\n");
  EXPECT_NE(planOffered, std::string::npos);
  EXPECT_GT(planOffered, result.out.find("The info is retrieved."));
  EXPECT_NE(result.out.find("> Installation Plan\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("[Q-SolutionInstaller]\nThe setup program has finished updating "
                            "Q-Alder.\n\nThe logfiles are written to the location: \n" +
                            shownFolder("QOLog") +
                            "\nThe Customized files are written to the location: \n" +
                            shownFolder("QOCustomized") + "\n[OK]\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(portableLogs(),
            readText(fs::path(QSI_SOURCE_DIR) / "tests" / "e2e" / "ServicePackLogs.txt"));

  std::string stopCalls;
  for (const auto& service : actions::getQOServices()) stopCalls += "stop.exe " + service + "\n";
  EXPECT_EQ(calls(), kServiceCommandsNoted
                         ? "net stop IISADMIN /y\nnet stop LDAPSVC /y\nnet stop W3SVC /y\n"
                           "mtxstop \n" +
                               stopCalls +
                               "net start IISADMIN\nnet start LDAPSVC\nnet start W3SVC\n"
                         : stopCalls);
}

TEST_F(EndToEnd, SolutionWithScriptsOnlyRunsTheDatabasePartAndLeavesTheRegistry) {
  writePackage("Solution", false);
  const ProcessResult result = run("1\nsecret\n\n\n\n2\n\n");
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(calls(), "");
  EXPECT_EQ(sources.rows("QAlder", "SELECT COUNT(*) FROM SETTINGS"), Rows{{"2"}});
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT MACHINE, SERVER, PATCH FROM PATCH"),
            (Rows{{"SQL01", "DbServer", "0"}}));
  EXPECT_EQ(appVersion("WebServer"), "2.1.0.0");
  EXPECT_EQ(appVersion("DbServer"), "<none>");
  EXPECT_NE(result.out.find("The logfiles are written to the location: \n" + shownFolder("QOLog") +
                            "\n\n[OK]"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(result.out.find("Customized files"), std::string::npos);
}

// A module new to the site is kept in the installer's own record: run again,
// the package touches no file, service, script or row, and says so in its
// plan; undo of the first run takes the record back with the rest.
TEST_F(EndToEnd, ASecondRunOfThePackageChangesNothing) {
  writePackage("ServicePack");
  site.writePackage("configuration files/Q-Maple.ini", "[ReleaseInfo]\r\nVersion=2.1.1.0\r\n");
  site.writePackage("Web/Q-Oak/order.asp", "order");
  const std::string registryBefore = readText(site.registryFile);
  const std::string before = everything();
  ASSERT_EQ(run(kInstall).status, 0);
  const std::string first = runLogs().filename().string();
  const std::string record = "SOFTWARE\\QSolutionInstaller\\Installed\\";
  EXPECT_EQ(registryValue(record + "WebServer\\Q-Maple", "Version"), "2.1.1.0");
  EXPECT_FALSE(hasRegistryKey(record + "WebServer\\Q-Alder"));  // the suite's key tells it
  const std::string installed = everything() + metabase() + calls();

  const ProcessResult again = run(kInstall);
  ASSERT_EQ(again.status, 0) << again.out;
  EXPECT_EQ(everything() + metabase() + calls(), installed);
  EXPECT_EQ(sources.rows("QAlder", "SELECT COUNT(*) FROM SETTINGS"), Rows{{"2"}});
  fs::path second;
  for (const auto& folder : fs::directory_iterator(site.instMainDir / "QOLog"))
    if (folder.path().filename() != first) second = folder.path();
  const std::string plan = readText(second / "Installation Plan.txt");
  for (const std::string& line : std::vector<std::string>{
           "Files:            0 to install (0 new, 0 saved first), 3 not installed",
           "Services:         not stopped", "SQL scripts:      0 to run, 2 that run nothing",
           "Web server part:  passed over, none of its files is to be installed",
           "Database part:    passed over, the run of " + first + " completed these very scripts",
           "Module Q-Maple: skip, 2.1.1.0 (recorded by the run of " + first + ") -> 2.1.1.0"})
    EXPECT_NE(plan.find(line + "\r\n"), std::string::npos) << line << "\n" << plan;

  const ProcessResult undone = run("y\n", {}, {"--undo"});
  EXPECT_EQ(undone.status, 0) << undone.out;
  EXPECT_EQ(everything(), before);  // the first run undone: the second changed nothing
  EXPECT_FALSE(hasRegistryKey("SOFTWARE\\QSolutionInstaller"));
#ifndef _WIN32
  EXPECT_EQ(readText(site.registryFile), registryBefore);
#endif
}

TEST_F(EndToEnd, CancelRetryCancelAtThePasswordEndsTheProgram) {
  writePackage("ServicePack");
  const ProcessResult result = run("1\ntyped\nc\nr\nagain\ncancel\nC\n\n");
  EXPECT_EQ(result.status, 2) << result.out;
  const std::string login =
      "SQL Server Login Data\nSA Password: \n\\[OK\\] \\[Cancel\\]\n"
      "\\[Q-SollutionInstaller\\]\nThe installer cannot proceed without "
      "the SA Password\n\\[Retry\\] \\[Cancel\\]\n";
  EXPECT_TRUE(std::regex_search(
      result.out, std::regex(login + login +
                             "\\[Q-SolutionInstaller\\]\nThe installer is about to exit\n"
                             "\\[OK\\]\n")))
      << result.out;
  EXPECT_EQ(readText(site.instMainDir / "QO11/Q-Alder/default.asp"), kOurPage);
}

// The command line takes what the option table holds, in either form, and
// refuses the rest before anything is read.
TEST_F(EndToEnd, TheCommandLineTakesItsOptionsAndRefusesTheRest) {
  const std::vector<std::string> refused[] = {
      {"--bogus"}, {"--undo", "a", "b"}, {"--version=2"}, {"--help", "--help"}, {"undo"}};
  for (const auto& args : refused) {
    const ProcessResult result = run("", {}, args);
    EXPECT_EQ(result.status, 2) << args[0];
    EXPECT_TRUE(result.err.ends_with("\nusage: qsolutioninstaller [OPTION]...\n")) << result.err;
  }
  EXPECT_EQ(run("", {}, {"--undo=20 -- 3"}).out, "There is no run 20 -- 3 to undo.\n");
  EXPECT_EQ(run("", {}, {"--undo", "20 -- 3"}).out, "There is no run 20 -- 3 to undo.\n");
}

#ifndef _WIN32
// Refused at start-up with its entries named, before anything is touched.
TEST_F(EndToEnd, AHostilePackageIsRefusedAtStartUpAndTheSiteLeftAsItWas) {
  writePackage("ServicePack");
  site.writePackage("Web/Q-Alder/..\\..\\..\\..\\x.asp", "escaped");
  fs::create_symlink(site.registryFile, site.installer / "Solution/Web/Q-Alder/r.asp");
  const std::string before = everything() + metabase();
  const ProcessResult result = run(kInstall);
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("The package is refused: 2 entries cannot be installed safely.\n"
                            "  Web\\Q-Alder\\..\\..\\..\\..\\x.asp: the name holds \"\\\"\n"
                            "  Web\\Q-Alder\\r.asp: it is a link\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(everything() + metabase(), before);
  EXPECT_EQ(calls(), "");
}

// An installed file that cannot be read ends Retrieve, shown and logged.
TEST_F(EndToEnd, AnUnreadableInstalledFileIsShownAndLogged) {
  writePackage("ServicePack");
  const fs::path page = site.instMainDir / "QO11/Q-Alder/default.asp";
  fs::remove(page);
  fs::create_symlink("/proc/self/mem", page);
  const ProcessResult result = run(kInstall);
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("Error 1010 in readCurrentSiteChecksums:\nThe installed file " +
                            page.string() + " cannot be read: "),
            std::string::npos)
      << result.out;
  EXPECT_NE(readText(runLogs() / "Gathering Current Site Information.txt")
                .find("  The run ended with a failure: Error 1010 in readCurrentSiteChecksums:"),
            std::string::npos);
  EXPECT_EQ(calls(), "");
}

// The run does what the plan says; the undo leaves what changed since, and
// asks before it changes anything.
TEST_F(EndToEnd, InstallThenUndoLeavesTheSiteAsItWasAndTheRunDidWhatThePlanSaid) {
  writeEveryKindPackage();
  const std::string before = everything();
  const ProcessResult installed = run(kInstall);
  ASSERT_EQ(installed.status, 0) << installed.out;
  EXPECT_NE(everything(), before);
  const std::string plan = readText(runLogs() / "Installation Plan.txt");
  // Columns: two blanks, the action in 16, the installation path, "   from".
  std::string planned, copied;
  for (const std::string& line : platform::split(plan, '\n'))
    if (line.starts_with("  new ") || line.starts_with("  replace ") ||
        line.starts_with("  save, replace "))
      planned += line.substr(18, line.find("   from") - 18) + "\n";
  const std::string inst = platform::displayPath(site.instMainDir) + "/";
  for (const std::string& line : platform::split(readText(runLogs() / "FileCopy.txt"), '\n'))
    if (line.starts_with("  Start Copy file -> " + inst))
      copied += platform::replaceAll(line.substr(21 + inst.size(), line.size() - 22 - inst.size()),
                                     "/", "\\") +
                "\n";
  EXPECT_EQ(copied, planned);
  EXPECT_TRUE(fs::exists(runLogs() / "SQL Script - a.sql.txt") &&
              fs::exists(runLogs() / "SQL Script - b.sql.txt"));
  EXPECT_NE(readText(runLogs() / "SQL Scripts.txt").find("..\\x.sql: the name holds"),
            std::string::npos);
  EXPECT_NE(plan.find("  not installed   QO11\\images\\logo.gif"), std::string::npos) << plan;
  EXPECT_EQ(copied.find("logo.gif"), std::string::npos);

  const fs::path page = site.instMainDir / "QO11/Q-Alder/default.asp";
  const std::string left = readText(page);
  // Edited to the size and CRC-16 of what the run left: only the CRC-32C tells.
  std::string edited = left;
  edited[edited.size() - 3] ^= 1;
  for (int n = 0; checksum::calculateCRC(edited) != checksum::calculateCRC(left); ++n) {
    edited[edited.size() - 2] = static_cast<char>(n >> 8);
    edited.back() = static_cast<char>(n & 0xFF);
  }
  site.write("inst/QO11/Q-Alder/default.asp", edited);
  const std::string version = appVersion("WebServer");
  const std::string modules = "SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\";
  ASSERT_TRUE(
      site.registry.writeValue(modules + "WebServerConfig\\Modules\\Q-Alder", "AppVersion", "9.9"));
  // Hand-made records are not followed; a folder the run made keeps the admin's file.
  const fs::path mine = site.write("inst/QO11/Q-Alder/new/mine.asp", "mine");
  const fs::path outside = site.write("outside.txt", "not the site's");
  const fs::path runFolder =
      actions::journalFolder(site.instMainDir, runLogs().filename().string());
  const std::string journalText = readText(journal::Journal::fileOf(runFolder));
  const checksum::Fingerprint kept = checksum::fingerprintOf(outside);
  // A torn record in the middle is skipped alone; an altered one leaves the
  // run not undone until it is mended.
  {
    std::string records = journalText;
    records.insert(records.find('\n') + 1, "#40 0badf00d mkdir\t/\n#7 0badf00d mkdir\t/\n");
    std::ofstream(journal::Journal::fileOf(runFolder), std::ios::trunc) << records;
  }
  journal::Journal forged(runFolder);
  forged.append(journal::Create{outside.string(), "x"});
  forged.append(journal::RegistryKey{modules + "DbServerConfig\\Modules\\Q-Alder"});
  forged.append(journal::RegistryValue{"SOFTWARE\\Corvane", "Run", true, "x", "", std::nullopt});
  forged.append(journal::Com{(site.root / "elsewhere.dll").string(), true, false});
  forged.append(journal::Mts{"QOPackage", (site.root / "other.dll").string(), true, {}});
  forged.write(journal::Replace{(site.instMainDir / "QO11" / "in.asp").string(),
                                "../../../../outside.txt", kept, "x", "", ""});
  const std::vector<std::string> args = {"--undo", runLogs().filename().string()};
  // The plan comes first; declined, or at the end of input, nothing changes.
  const std::string editedSite = everything() + calls();
  for (const std::string answer : {"", "n\n", "yes please, but not now\n"}) {
    const ProcessResult declined = run(answer, {}, args);
    EXPECT_EQ(declined.status, 2) << declined.out;
    EXPECT_TRUE(
        platform::contains(declined.out, "Conflicts, left as they are\n") &&
        platform::contains(declined.out, "\n  " + mine.parent_path().string() +
                                             ": the folder holds files the run did not make\n  " +
                                             page.string() + ": changed after the run\n"))
        << declined.out;
    EXPECT_TRUE(platform::contains(declined.out, "The undo is declined; nothing was changed."));
    EXPECT_EQ(everything() + calls(), editedSite) << answer;
  }
  const ProcessResult undone = run("y\n", {}, args);
  EXPECT_EQ(undone.status, 1) << undone.out;  // undone in part
  EXPECT_EQ(readText(mine) + readText(outside) + readText(page) + appVersion("WebServer"),
            "mine"
            "not the site's" +
                edited + "9.9");
  EXPECT_NE(undone.out.find("scripts run and Metabase rows written are not undone"),
            std::string::npos)
      << undone.out;
  for (const std::string refused :
       {"elsewhere.dll: it lies outside the site", "other.dll: it lies outside the site",
        "Q-Alder: it lies outside the installer's own key",
        "Corvane Run: it lies outside the suite's",
        "in.asp: its kept copy \"../../../../outside.txt\" is no name in the run's journal"})
    EXPECT_TRUE(platform::contains(undone.out, refused)) << refused << "\n" << undone.out;
  for (const std::string& conflict :
       {page.string(),
        "registry value " + modules + "WebServerConfig\\Modules\\Q-Alder AppVersion"})
    EXPECT_TRUE(
        platform::contains(undone.out, "Left as it is: " + conflict + ": changed after the run"))
        << undone.out;
  EXPECT_TRUE(platform::contains(undone.out, "the journal of the run " +
                                                 runLogs().filename().string() +
                                                 ", record 3: its frame does not fit"))
      << undone.out;
  // Put back as the run left them, the rest of the run is undone by the next undo.
  std::ofstream(journal::Journal::fileOf(runFolder), std::ios::trunc) << journalText;
  site.write("inst/QO11/Q-Alder/default.asp", left);
  ASSERT_TRUE(site.registry.writeValue(modules + "WebServerConfig\\Modules\\Q-Alder", "AppVersion",
                                       version));
  fs::remove_all(mine.parent_path());
  const ProcessResult rest = run("y\n", {}, args);
  EXPECT_EQ(rest.status, 0) << rest.out;
  EXPECT_EQ(everything(), before);
  EXPECT_EQ(run("y\n", {}, {"--undo"}).status, 2);  // nothing left to undo
  // An undone run is not undone again; no run is undone before a later one.
  const char* const runs[] = {"older", "later", "newest"};  // in the order they ran
  for (int i = 0; i < 3; ++i) {
    const fs::path folder = actions::journalFolder(site.instMainDir, runs[i]);
    fs::create_directories(folder);
    std::ofstream(journal::Journal::fileOf(folder))
        << "begin\t" << runs[i] << "\t200" << i << "-01-01 00:00:00\tx\nservices-stopped\n";
  }
  for (const auto& [name, refusal] :
       {std::pair<std::string, std::string>{runLogs().filename().string(), " is undone already"},
        {"older", "while later runs stand; undo them first, newest first: newest, later."}}) {
    const ProcessResult refused = run("y\n", {}, {"--undo", name});
    EXPECT_TRUE(refused.status == 2 && platform::contains(refused.out, refusal)) << refused.out;
  }
}

// The modes of every file a run may change, the Java folder's too.
std::string modes(const std::vector<fs::path>& folders) {
  std::string out;
  for (const fs::path& folder : folders)
    for (const auto& entry : fs::recursive_directory_iterator(folder))
      if (entry.is_regular_file() && !platform::contains(entry.path().string(), "QOLog") &&
          !platform::contains(entry.path().string(), "QOJournal") &&
          !platform::contains(entry.path().string(), "QOCustomized"))
        out += entry.path().string() + " " +
               std::to_string(static_cast<unsigned>(fs::status(entry).permissions())) + "\n";
  return out;
}

// A read-only page and Java classes on another file system than the
// journal come back byte for byte with their modes, the registry store byte
// for byte: values of other types the run wrote over, no key the run made;
// an undo killed or told to end at any instant is finished by the next one.
TEST_F(EndToEnd, UndoPutsBackModesAndFilesOfAnotherFileSystemAndAKilledUndoIsFinished) {
  writeEveryKindPackage();
  site.write("registry.reg",
             platform::replaceAll(readText(site.registryFile),
                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\QSolutionInstaller\\"
                                  "ComRegistrations]\r\n",
                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes]\r\n") +
                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QSolutionInstaller\\Installed\\WebServer\\"
                 "Q-Maple]\r\n\"Run\"=hex(2):25,00,52,00,00,00\r\n\"Version\"=dword:00000002\r\n");
  const fs::path elsewhere = fs::path("/dev/shm") / site.root.filename();
  ASSERT_NE(fs::status(elsewhere.parent_path()).type(), fs::file_type::not_found);
  fs::create_directories(elsewhere / "java/Classes/com/corvane");
  fs::create_symlink(elsewhere, windowsFolder());
  const fs::path javaClass = elsewhere / "java/Classes/com/corvane/Alder.class";
  std::ofstream(javaClass) << "old class";
  const fs::path page = site.instMainDir / "QO11/Q-Alder/default.asp";
  fs::permissions(javaClass, fs::perms::owner_read | fs::perms::group_read);
  fs::permissions(page, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const fs::path saved = site.root / "saved";
  fs::copy(site.instMainDir, saved, fs::copy_options::recursive);
  std::string registry = readText(site.registryFile);
  const auto before = everything() + modes({site.instMainDir, elsewhere});
  int interrupted = 0;
  // Kills and requests to end spread over one whole undo, however fast this build is.
  ASSERT_EQ(run(kInstall).status, 0);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(run("y\n", {}, {"--undo"}).status, 0);
  const auto whole = std::chrono::steady_clock::now() - started;
  for (int instant = 0; instant < 8; ++instant) {
    ASSERT_EQ(run(kInstall).status, 0);
    EXPECT_EQ(readText(javaClass), "class");
    EXPECT_EQ(
        registryValue("SOFTWARE\\QSolutionInstaller\\Installed\\WebServer\\Q-Maple", "Version"),
        "2.1.1.0");
    const ProcessResult killed =
        run("y\n",
            [&](unsigned long pid) {
              std::this_thread::sleep_for(whole * (instant + 1) / 9);
              ::kill(static_cast<pid_t>(pid), instant % 2 == 0 ? SIGKILL : SIGTERM);
            },
            {"--undo"});
    // Told to end, it stops after a record; the next one takes it up.
    const bool stopped = platform::contains(killed.out, "the undo was interrupted");
    interrupted += stopped ? 1 : 0;
    const ProcessResult again = run("y\n", {}, {"--undo"});
    EXPECT_TRUE(!stopped || (killed.status == 1 && again.status == 0)) << again.out;
    EXPECT_EQ(everything() + modes({site.instMainDir, elsewhere}), before) << killed.status << "\n"
                                                                           << again.out;
    // In the store's own layout from the first undo on, then byte for byte.
    if (instant == 0) registry = readText(site.registryFile);
    EXPECT_EQ(readText(site.registryFile), registry);
    fs::remove_all(site.instMainDir);
    fs::copy(saved, site.instMainDir, fs::copy_options::recursive);
    site.write("registry.reg", registry);
  }
  EXPECT_GT(interrupted, 0);
  // A link put where the copy's hidden folder was is not followed by undo;
  // the copy a pruned run kept goes with its journal.
  std::ofstream(site.registryFile, std::ios::app)
      << "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QSolutionInstaller]\r\n\"KeepJournals\"=dword:"
         "00000001\r\n";
  ASSERT_EQ(run(kInstall).status, 0);
  const std::string first = runLogs().filename().string();
  const fs::path kept = javaClass.parent_path() / ".qsi-kept";
  fs::rename(kept, elsewhere / "trap");
  fs::create_directory_symlink(elsewhere / "trap", kept);
  const ProcessResult linked = run("y\n", {}, {"--undo"});
  EXPECT_TRUE(linked.status == 1 &&
              platform::contains(linked.out, ".qsi-kept: it is a symbolic link"))
      << linked.out;
  EXPECT_EQ(readText(javaClass), "class");
  fs::remove(kept);
  fs::rename(elsewhere / "trap", kept);
  ASSERT_TRUE(fs::exists(kept / first));
  EXPECT_EQ(run("y\n", {}, {"--undo"}).status, 0);  // taken up where the link stopped it
  ASSERT_EQ(run(kInstall).status, 0);
  ASSERT_EQ(std::distance(fs::directory_iterator(kept), {}), 1);  // the second run's copy
  const fs::path second = fs::directory_iterator(kept)->path();
  ASSERT_TRUE(site.registry.writeValue(
      "SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\Modules\\Q-Alder",
      "AppVersion", "2.1.0.0"));
  ASSERT_EQ(run(kInstall).status, 0);
  EXPECT_FALSE(fs::exists(second));
  // Nor is a site folder swapped for a link since the run (its dates tell
  // whole seconds), while a link that was there before it is followed.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  const fs::path folder = site.instMainDir / "QO11/Q-Alder";
  fs::rename(folder, site.root / "moved");
  fs::create_directory_symlink(site.root / "moved", folder);
  const ProcessResult through = run("y\n", {}, {"--undo"});
  EXPECT_TRUE(through.status == 1 && platform::contains(through.out, "Q-Alder leads elsewhere"))
      << through.out;
  EXPECT_EQ(readText(site.root / "moved/default.asp"), kNewPage);
  fs::remove_all(elsewhere);
}

// Killed at any instant, the run is undone at the next start.
TEST_F(EndToEnd, AKilledRunIsUndoneAtTheNextStartWhateverTheInstant) {
  writeEveryKindPackage();
  const fs::path saved = site.root / "saved";
  fs::copy(site.instMainDir, saved, fs::copy_options::recursive);
  const std::string registry = readText(site.registryFile);
  const auto putBack = [&] {
    fs::remove_all(site.instMainDir);
    fs::copy(saved, site.instMainDir, fs::copy_options::recursive);
    site.write("registry.reg", registry);
    fs::remove_all(windowsFolder());
  };
  const std::string before = everything();
  // The shorter of two runs: the first may pay for cold caches, and the
  // kills must land inside a run.
  auto whole = std::chrono::steady_clock::duration::max();
  for (int warm = 0; warm < 2; ++warm) {
    putBack();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(run(kInstall).status, 0);
    whole = std::min(whole, std::chrono::steady_clock::now() - started);
  }
  // A run killed after it ended, at its closing box, is no killed run.
  const auto ended = [&] {
    std::error_code none;  // killed before the lock: no journal yet
    for (const auto& run : fs::directory_iterator(site.instMainDir / "QOJournal", none))
      for (const auto& record : journal::Journal::read(run.path()).records)
        if (std::holds_alternative<journal::End>(record)) return true;
    return false;
  };
  int kills = 0;
  for (int instant = 0; instant < 48 && kills < 20; ++instant) {
    putBack();
    const auto delay = whole * (instant % 24 + 1) / 25;
    const ProcessResult killed = run(kInstall, [&](unsigned long pid) {
      std::this_thread::sleep_for(delay);
      ::kill(static_cast<pid_t>(pid), SIGKILL);
    });
    if (killed.status != 128 + SIGKILL || ended()) continue;
    ++kills;
    const ProcessResult again = run("y\n");
    EXPECT_EQ(everything(), before)
        << "killed after " << std::chrono::duration<double>(delay).count() << " s\n"
        << again.out;
  }
  EXPECT_GE(kills, 20);
}
// Only the newest journals are kept; runs are taken by their sequence, not
// by their dates, and a run folder others can write is followed in nothing.
TEST_F(EndToEnd, OlderJournalsArePrunedAndRunsAreTakenInTheOrderTheyRan) {
  writePackage("ServicePack");
  site.writePackage("Web/Q-Oak/order.asp", "order");
  std::ofstream(site.registryFile, std::ios::app)
      << "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QSolutionInstaller]\n\"KeepJournals\"=dword:00000001\n";
  const std::string before = everything();
  const fs::path journals = site.instMainDir / "QOJournal";
  const auto runFolders = [&] {
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(journals))
      if (item.is_directory()) names.insert(item.path().filename().string());
    return names;
  };
  ASSERT_EQ(run(kInstall).status, 0);
  const std::set<std::string> first = runFolders();
  ASSERT_EQ(first.size(), 1u);
  const std::string a = *first.begin();
  const ProcessResult undone = run("y\n", {}, {"--undo"});
  ASSERT_EQ(undone.status, 0) << undone.out;
  // A run undone in part stands, and keeps its journal.
  const fs::path partial = journals / "partial";
  fs::create_directories(partial);
  std::ofstream(partial / "state") << "sequence=1\nchanges=1\nstatus=partial\n";
  std::ofstream(journal::Journal::fileOf(partial)) << "begin\tpartial\t2000-01-01 00:00:00\tx\n";
  ASSERT_EQ(run(kInstall).status, 0);
  std::set<std::string> pruned;
  for (const auto& item : fs::directory_iterator(journals / a))
    pruned.insert(item.path().filename().string());
  EXPECT_EQ(pruned, std::set<std::string>{"state"});
  EXPECT_TRUE(fs::exists(journal::Journal::fileOf(partial)));
  const ProcessResult again = run("y\n", {}, {"--undo", a});
  EXPECT_TRUE(again.status == 2 && platform::contains(again.out, " was pruned")) << again.out;
  // A later date and a higher sequence do not make a run the last one.
  const fs::path future = journals / "2999-01-01 00.00.00";
  fs::create_directories(future);
  std::ofstream(journal::Journal::fileOf(future))
      << "begin\tfuture\t2999-01-01 00:00:00\tx\nservices-stopped\nend\n";
  const fs::path shared = journals / "shared";
  fs::create_directories(shared);
  std::ofstream(shared / "state") << "sequence=1000\nchanges=1\nstatus=ended\n";
  fs::permissions(shared, fs::perms::all);
  const ProcessResult refused = run("y\n", {}, {"--undo", "shared"});
  EXPECT_TRUE(refused.status == 2 && platform::contains(refused.out, "others than its owner"))
      << refused.out;
  // A link for a run folder is refused by name; while others can write the
  // journal root, nothing in it is read.
  fs::create_directory_symlink(future, journals / "linked");
  const ProcessResult linked = run("y\n", {}, {"--undo", "linked"});
  EXPECT_TRUE(linked.status == 2 && platform::contains(linked.out, "linked: it is a symbolic link"))
      << linked.out;
  // A journal root that is a link is followed in nothing, by undo and by a
  // run alike; one of ours open to others is closed first.
  fs::rename(journals, site.root / "journals");
  fs::create_directory_symlink(site.root / "journals", journals);
  const auto folders = runFolders();
  for (const auto& args : {std::vector<std::string>{"--undo"}, std::vector<std::string>{}}) {
    const ProcessResult linkedRoot = run("y\n", {}, args);
    EXPECT_TRUE(linkedRoot.status == 2 &&
                platform::contains(linkedRoot.out, "QOJournal: it is a symbolic link"))
        << linkedRoot.out;
  }
  EXPECT_EQ(runFolders(), folders);  // nothing made in it
  fs::remove(journals);
  fs::rename(site.root / "journals", journals);
  fs::permissions(journals, fs::perms::others_write, fs::perm_options::add);
  // While refused runs stand, which may be later ones, no other run is undone.
  const ProcessResult waits = run("y\n", {}, {"--undo"});
  EXPECT_TRUE(waits.status == 2 && platform::contains(waits.out, "whose journals are refused") &&
              platform::contains(waits.out, "shared (") &&
              platform::contains(waits.out, "linked ("))
      << waits.out;
  fs::remove(journals / "linked");
  fs::remove_all(shared);
  const ProcessResult last = run("y\n", {}, {"--undo"});
  EXPECT_EQ(fs::status(journals).permissions() & fs::perms::others_write, fs::perms::none);
  EXPECT_EQ(last.status, 0) << last.out;
  EXPECT_EQ(everything(), before);
}
#endif

}  // namespace
}  // namespace qsi::test
