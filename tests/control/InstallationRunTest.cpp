#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "actions/Catalog.h"
#include "actions/Components.h"
#include "actions/Undo.h"
#include "control/Main.h"
#include "journal/Journal.h"
#include "journal/RunState.h"
#include "platform/Clock.h"
#include "platform/FileIO.h"
#include "platform/Interrupt.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "site/InstallerRecord.h"
#include "site/RegistryAccess.h"
#include "support/Faults.h"
#include "support/SuiteSite.h"

namespace qsi::control {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// Notes every command; each succeeds at once.
class NotingRunner final : public platform::CommandRunner {
 public:
  Strings calls;
  platform::CommandResult run(std::string_view command) override {
    calls.emplace_back(command);
    return {0, false, {}};
  }
};

// A whole run of SuiteSite's service pack in this process, with the platform
// services a test makes fail.
class InstallationRun : public test::SuiteSite {
 protected:
  test::FixedClock clock;
  test::FaultyRegistry registry{site.registry};
  // What a run works with; the databases fail on cue when given.
  Services services(platform::Databases* with = nullptr) {
    return Services{registry,
                    site.profiles,
                    clock,
                    site.installer,
                    actions::ActionServices{commands, com, mts, files},
                    with,
                    &disk};
  }
  test::ScriptedView view;
  test::FaultyDatabases databases;
  test::FaultyFileReplacer files;
  test::FaultyFiles disk;  // the logs and the journal
  NotingRunner commands;
  platform::RegistryComRegistrar com{site.registry};
  platform::RegistryMtsCatalog mts{site.registry};
  Main main{services(&databases), view};

  void SetUp() override {
    SuiteSite::SetUp();
    writePackage("ServicePack");
    view.logins.push_back({"secret"});
  }
  void TearDown() override { platform::clearInterruptRequest(); }

  // Start-up, Retrieve, Start on `window`; the program's end.
  static std::optional<ProgramEnd> wholeRun(Main& window,
                                            const std::function<void()>& beforeStart = {}) {
    std::optional<control::ProgramEnd> end = window.Form_Load();
    if (!end) end = window.press(Button::cmdRetrieveInfo);
    if (!end && beforeStart) beforeStart();
    if (!end) end = window.press(Button::cmdStart);
    return end;
  }
  std::optional<ProgramEnd> ended;  // that of the last install()
  // The exit status the program ended with.
  int install(const std::function<void()>& beforeStart = {}) {
    ended = wholeRun(main, beforeStart);
    return ended ? ended->exitStatus() : -1;
  }
  // One more whole run, on a window of its own, answering `answers`.
  int runAgain(std::deque<platform::Answer> answers = {}) {
    test::ScriptedView again;
    again.logins.push_back({"secret"});
    again.answers = std::move(answers);
    Main next{services(&databases), again};
    const std::optional<ProgramEnd> end = wholeRun(next);
    boxes = again.boxes;
    return end ? end->exitStatus() : -1;
  }
  std::vector<platform::MessageBox> boxes;  // those of the last runAgain()
  [[nodiscard]] std::string log(std::string_view section) const {
    return test::readText(site.instMainDir / "QOLog" / main.environment().stamp.runFolder /
                          (std::string(section) + ".txt"));
  }
  [[nodiscard]] std::size_t starts() const {
    return static_cast<std::size_t>(
        std::count_if(commands.calls.begin(), commands.calls.end(),
                      [](const std::string& call) { return call.starts_with("net start "); }));
  }
};

// The plan of the sample package and of one with every kind of entry, whole.
TEST_F(InstallationRun, ThePlanTellsEverythingTheRunWillDo) {
  const fs::path expected = fs::path(QSI_SOURCE_DIR) / "tests" / "control";
  for (const bool sample : {true, false}) {
    fs::remove_all(site.installer / "Solution");
    if (sample) {
      fs::copy(fs::path(QSI_SOURCE_DIR) / "share" / "sample-package" / "Solution",
               site.installer / "Solution", fs::copy_options::recursive);
    } else {
      writeEveryKindPackage();
    }
    test::ScriptedView shown;
    shown.logins.push_back({"secret"});
    Main fresh{services(), shown};
    ASSERT_FALSE(fresh.Form_Load());
    ASSERT_FALSE(fresh.press(Button::cmdRetrieveInfo));
    ASSERT_FALSE(fresh.press(Button::cmdViewPlan));
    ASSERT_EQ(shown.reports.size(), 1u);
    EXPECT_EQ(shown.reports[0].caption, "Installation Plan");
    const std::string file = sample ? "SamplePackagePlan.txt" : "EveryKindPlan.txt";
    EXPECT_EQ(shown.reports[0].txtReport, test::readText(expected / file)) << file;
  }
}

// Runs of the same second took the stamp's folders: this run gets its own.
TEST_F(InstallationRun, StartUpReadsThePackageIntoARunFolderOfItsOwn) {
  const std::string stamp = platform::makeRunStamp(clock.now()).installDateAndTimeFormat;
  fs::create_directories(site.instMainDir / "QOLog" / stamp);
  fs::create_directories(site.instMainDir / "QOCustomized" / (stamp + " (2)"));
  ASSERT_FALSE(main.Form_Load());
  EXPECT_EQ(main.environment().stamp.runFolder, stamp + " (3)");
  EXPECT_TRUE(log("Gathering Solution Information").starts_with(std::string(88, '*')));
  const MainWindowState& s = main.state();
  EXPECT_TRUE(s.cmdRetrieveInfoEnabled && !s.cmdStartEnabled && !s.cmdCustimizationReportEnabled);
  EXPECT_TRUE(s.txtSolution.starts_with("ProductName    : Q-Alder\r\n")) << s.txtSolution;
}

// A package that cannot be read, or with an entry that could climb out, forge
// a line or lead elsewhere, ends the program at start-up, the entry named,
// before any file, registry value or Metabase row changes.
enum class Make { NoPackage, File, Link, FolderLink, Pipe };

struct HostileEntry {
  const char* name;
  Make make;
  const char* path;     // below the package
  std::string refused;  // the entry and why
};

// Windows itself opens a device for a reserved name, unless the path is
// taken as it is written.
fs::path asWritten(const fs::path& file) {
#ifdef _WIN32
  return fs::path("\\\\?\\" + fs::path(file).make_preferred().string());
#else
  return file;
#endif
}

class HostilePackageAtStartUp : public InstallationRun,
                                public ::testing::WithParamInterface<HostileEntry> {};

TEST_P(HostilePackageAtStartUp, IsRefusedWithItsEntryNamedLeavingTheSiteAsItWas) {
  const HostileEntry& entry = GetParam();
  const fs::path at = site.installer / "Solution" / entry.path;
  if (entry.make == Make::NoPackage) fs::remove_all(site.installer / "Solution");
  if (entry.make == Make::File) {
    fs::create_directories(at.parent_path());
    std::ofstream(asWritten(at)) << "x";
  }
  if (entry.make == Make::Link) fs::create_symlink(site.registryFile, at);
  if (entry.make == Make::FolderLink) fs::create_directory_symlink(site.root, at);
#ifndef _WIN32
  ASSERT_TRUE(entry.make != Make::Pipe || (fs::remove(at) && ::mkfifo(at.c_str(), 0644) == 0));
#endif
  const auto metabase = [&] {
    std::vector<Strings> rows;
    for (const char* table : {"OBJECT", "MODULE", "SERVER"})
      for (Strings& row : sources.rows("QOMetabase", std::string("SELECT * FROM ") + table))
        rows.push_back(std::move(row));
    return rows;
  };
  const std::string before = site.snapshot();
  const std::vector<Strings> rowsBefore = metabase();
  EXPECT_EQ(install(), platform::EndProgram::kFailed);
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].icon, platform::Icon::Critical);
  EXPECT_EQ(
      view.boxes[0].text,
      "Error 1010 in readSolutionInfo:\r\nError reading the solution info!\r\n" + entry.refused);
  EXPECT_EQ(site.snapshot(), before);
  EXPECT_EQ(metabase(), rowsBefore);
  if (entry.make == Make::File) fs::remove(asWritten(at));
}

const std::string kRefused = "The package is refused: 1 entry cannot be installed safely.\r\n  ";

const HostileEntry kHostileEntries[] = {
    {"NoPackage", Make::NoPackage, "", "Error retrieving the modulenames!"},
    {"DeviceName", Make::File, "Web/Q-Alder/Con.asp",
     kRefused + R"(Web\Q-Alder\Con.asp: the name is that of a device on Windows (CON))"},
    {"NoModuleVersion", Make::File, "configuration files/Q-Alder.ini",
     kRefused + R"(configuration files\Q-Alder.ini: no Version in section ReleaseInfo)"},
#ifndef _WIN32
    {"WindowsCharacter", Make::File, "Web/Q-Alder/a|b.asp",
     kRefused + R"(Web\Q-Alder\a|b.asp: the name holds "|", which Windows does not allow)"},
    {"Climbing", Make::File, "Web/..\\..\\x.asp",
     kRefused + R"(Web\..\..\x.asp: the name holds "\")"},
    {"ControlCharacter", Make::File, "Components/Foo\nBar/x.dll",
     kRefused + R"(Components\Foo\x0ABar: the name holds a control character)"},
    {"FileLink", Make::Link, "Web/Q-Alder/reg.asp",
     kRefused + R"(Web\Q-Alder\reg.asp: it is a link)"},
    {"FolderLink", Make::FolderLink, "Web/Q-Birch", kRefused + R"(Web\Q-Birch: it is a link)"},
    {"PipeOutsideTheContent", Make::Pipe, "Sql/Sequence.txt",
     kRefused + "Sql\\Sequence.txt: it is neither a file nor a folder (a pipe, socket or device)"},
#endif
};

INSTANTIATE_TEST_SUITE_P(Entries, HostilePackageAtStartUp, ::testing::ValuesIn(kHostileEntries),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(InstallationRun, ASecondInstallerIsRefusedWhileTheFirstHoldsTheSite) {
  ASSERT_FALSE(main.Form_Load());
  test::ScriptedView second;
  Main other{services(), second};
  const std::optional<control::ProgramEnd> end = other.Form_Load();
  ASSERT_TRUE(end) << "the second installer must end";
  EXPECT_EQ(end->exitStatus(), platform::EndProgram::kStopped);
  ASSERT_EQ(second.boxes.size(), 1u);
  EXPECT_EQ(second.boxes[0].text,
            "Another installer is working on this site: " +
                platform::SiteLock::describeThisProcess(main.environment().stamp.installDateText) +
                ".\r\nOnly one installer may change a site at a time; this one ends without "
                "changing anything.");
  EXPECT_TRUE(second.refreshes.empty());  // nothing was read, nothing written
}

// However the run fails after the services were stopped, they are started
// again, the "Start Services" log says why, and the failure is shown and told
// in the log of the step it ended (after the last, in that of the last). The
// run's outcome is kept whatever the undo asked for after it meets.
struct FailureKind {
  const char* name;
  const char* shown;
  const char* step;
};

class FailureAfterTheStop : public InstallationRun,
                            public ::testing::WithParamInterface<FailureKind> {};

TEST_P(FailureAfterTheStop, StartsTheServicesAgainAndShowsTheFailure) {
  const std::string kind = GetParam().name;
  if (kind == "CtrlC") {
    files.fails = [](const platform::Placement&) {
      platform::requestInterrupt(SIGINT);
      return std::string();
    };
  } else if (kind == "MetabaseError") {
    databases.fails = [](std::string_view statement, int) {
      return statement.starts_with("UPDATE SERVER");
    };
  } else if (kind == "MetabaseTimeOut") {
    databases.timesOut = true;
    databases.fails = [](std::string_view statement, int) {
      return statement.starts_with("UPDATE OBJECT");
    };
  } else if (kind == "RegistryWrite") {
    registry.fails = [](std::string_view, std::string_view name) { return name == "AppVersion"; };
  } else if (kind.starts_with("JournalWrite")) {  // a full disk, once the services are stopped
    disk.full = [&](const fs::path& f) {
      return f.filename() == "journal" && !commands.calls.empty();
    };
  } else if (kind == "EndRecord") {  // a full disk, once the last record before the end is in
    auto recorded = std::make_shared<bool>(false);
    registry.fails = [recorded](std::string_view key, std::string_view name) {
      *recorded = *recorded || (platform::contains(key, "\\Scripts\\") && name == "Run");
      return false;
    };
    disk.full = [recorded](const fs::path& f) { return f.filename() == "journal" && *recorded; };
  } else {
    FAIL() << "no fault for " << kind;
  }
  // The undo, asked for, fails on the same full disk.
  const bool undoes = kind.ends_with("ThenUndo");
  if (undoes)
    view.answers = {platform::Answer::OK, platform::Answer::OK, platform::Answer::OK,
                    platform::Answer::Yes};
  EXPECT_EQ(install(), platform::EndProgram::kFailed);
  ASSERT_TRUE(ended && ended->run) << "the run's outcome is lost";
  EXPECT_TRUE(ended->run->changedSite);
  EXPECT_FALSE(ended->run->undone);
  EXPECT_EQ(main.errors().size(), 1u);
  EXPECT_EQ(starts(), undoes ? 6u : 3u);  // the undo stops and starts them too
  if (kind != "EndRecord") {              // the run started them itself
    EXPECT_NE(log("Start Services")
                  .find("  The run ended with a failure; the services are started again: "),
              std::string::npos)
        << log("Start Services");
  }
  EXPECT_NE(log(GetParam().step)
                .find("  The run ended with a failure: " +
                      platform::replaceAll(GetParam().shown, "\r\n", " ")),
            std::string::npos)
      << log(GetParam().step);
  // The failure, then the offer to undo what the run changed (declined, or
  // its failure told).
  ASSERT_GE(view.boxes.size(), undoes ? 3u : 2u);
  const std::size_t last = view.boxes.size() - (undoes ? 2 : 1);
  const platform::MessageBox& shown = view.boxes[last - 1];
  EXPECT_TRUE(shown.text.starts_with(GetParam().shown)) << shown.text;
  EXPECT_EQ(shown.icon, platform::Icon::Critical);
  // The question carries the undo's plan, checked before anything changes.
  const std::string& question = view.boxes[last].text;
  EXPECT_TRUE(question.starts_with("Undo Plan\r\n") &&
              question.ends_with("\r\n\r\nUndo the changes made by this run?"))
      << question;
  EXPECT_EQ(view.boxes[last].buttons, platform::Buttons::YesNo);
  if (undoes) {
    EXPECT_TRUE(view.boxes.back().text.starts_with("The changes made by the run of " +
                                                   main.environment().stamp.runFolder +
                                                   " are not undone: " + GetParam().shown))
        << view.boxes.back().text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FailureAfterTheStop,
    ::testing::Values(
        FailureKind{"MetabaseError",
                    "Error 1010 in updateServicePackTable:\r\nError while updating the metabase!",
                    "Metabase"},
        FailureKind{"MetabaseTimeOut", "Error 1040 in test:\r\nThe statement did not end",
                    "Metabase"},
        FailureKind{"RegistryWrite",
                    "Error 1010 in updateRegistryModulesInfo:\r\nError while updating the "
                    "Registry!",
                    "Metabase"},
        FailureKind{"CtrlC",
                    "Error 1050 in QSolutionInstaller:\r\nThe installation was interrupted "
                    "(Ctrl-C).",
                    "FileCopy"},
        FailureKind{"JournalWrite", "Error 1060:\r\ncannot write ", "FileCopy"},
        FailureKind{"JournalWriteThenUndo", "Error 1060:\r\ncannot write ", "FileCopy"},
        FailureKind{"EndRecord", "Error 1060:\r\ncannot write ", "Metabase"}),
    [](const auto& param) { return std::string(param.param.name); });

// However a step of the run fails, the run goes on to its end and the
// services are started again; the box warns, names the log that tells the
// failure and the run ends with status 3. A module keeps its versions where
// a file of it, its MODULE row or a script of the section failed.
struct Outcome {
  const char* name;
  std::string failure;  // the closing box's last paragraph; empty: the run completed (status 0)
  bool web, db;         // Q-Alder's versions raised in the registry and MODULE, per section
  bool dll;             // the DLL's OBJECT row holds its checksum
};

class StepsOfARun : public InstallationRun, public ::testing::WithParamInterface<Outcome> {};

TEST_P(StepsOfARun, AreToldAsTheyWentAndOnlyWhatWasInstalledIsRecorded) {
  const Outcome& c = GetParam();
  const std::string kind = c.name;
  const std::string dll = checksumOf("new component");  // its bytes, whatever its name
  site.writePackage("configuration files/FileVersion.txt",
                    "[Web\\Q-Alder\\default.asp]\r\nChecksum=" + checksumOf(test::kNewPage) +
                        "\r\n[Components\\Bramble\\Bramble.dll]\r\nChecksum=" + dll + "\r\n");
  sources.exec("QOMetabase", "INSERT INTO MODULE VALUES ('WEB01','DbServer','Q-Alder','','2.1.0')");
  sources.exec("QOMetabase", "INSERT INTO SERVER VALUES ('WEB01','DbServer','','')");
  databases.drops = false;
  if (kind == "FailedCopy")
    files.fails = [](const platform::Placement& placement) {
      return placement.destination.filename() == "default.asp" && !placement.asNew
                 ? platform::systemReason(test::kDiskFull)
                 : std::string();
    };
#ifndef _WIN32
  using Flush = platform::PosixFileReplacer::Flush;
  if (kind.ends_with("Flush"))
    files.failingFlush = kind == "FailedFlush" ? Flush::FileSystem : Flush::Folder;
#endif
  if (kind == "FailedVerification")
    files.after = [&](auto) { site.write("inst/QO11/Q-Alder/default.asp", "changed at once"); };
  if (kind == "FailedScripts") {
    site.writePackage("Sql/Sequence.txt", "b.sql\r\nc.sql\r\na.sql\r\n");  // c.sql is missing
    site.writePackage("Sql/b.sql", "use qalder\r\nINSERT INTO NOSUCH VALUES ('b')");
  }
  if (kind.starts_with("Refused"))
    databases.fails = [kind](std::string_view statement, int) {
      return kind == "RefusedObject" ? statement.starts_with("UPDATE OBJECT")
                                     : statement.starts_with("UPDATE MODULE") &&
                                           platform::contains(statement, "WebServer");
    };
  EXPECT_EQ(install(), c.failure.empty() ? platform::EndProgram::kInstalled
                                         : platform::EndProgram::kCompletedWithFailures);

  EXPECT_EQ(starts(), 3u);
  const fs::path saved = site.instMainDir / "QOCustomized" / main.environment().stamp.runFolder;
  const std::string shown = platform::displayPath(saved, true) + ".";
  const platform::MessageBox& closing = view.boxes.back();
  EXPECT_EQ(closing.text.substr(closing.text.find(shown) + shown.size()),
            c.failure.empty() ? "" : "\r\n\r\n" + c.failure);
  EXPECT_EQ(closing.icon,
            c.failure.empty() ? platform::Icon::Information : platform::Icon::Warning);
  EXPECT_EQ(fs::exists(saved / "QO11/Q-Alder/default.asp"), kind != "FailedFlush");
  if (kind == "FailedCopy") {  // its line, with the reason
    EXPECT_NE(log("FileCopy")
                  .find(platform::displayPath(site.instMainDir / "QO11/Q-Alder/default.asp") +
                        ": " + platform::systemReason(test::kDiskFull) + "\r\n"),
              std::string::npos);
  }
  EXPECT_EQ(appVersion("WebServer"), c.web ? "2.1.1" : "2.1.0.0");
  EXPECT_EQ(appVersion("DbServer"), c.db ? "2.1.1" : "<none>");
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT SERVER, VERSION FROM MODULE ORDER BY SERVER"),
            (std::vector<Strings>{{"DbServer", c.db ? "2.1.1" : "2.1.0"},
                                  {"WebServer", c.web ? "2.1.1" : "2.1.0"}}));
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT SERVICEPACK FROM SERVER WHERE SERVER='DbServer'"),
            std::vector<Strings>{{c.db ? "2.1.1.0 " : ""}});
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT CHECKSUM FROM OBJECT WHERE OBJECT LIKE '%.dll'"),
            c.dll ? std::vector<Strings>{{dll}} : std::vector<Strings>{});
  // Every script after a failed one runs, and each section gets its history row.
  EXPECT_EQ(sources.rows("QAlder", "SELECT VALUE FROM SETTINGS WHERE NAME = 'a'"),
            std::vector<Strings>{{"2"}});
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT COUNT(*) FROM INSTALLATIONHISTORY"),
            std::vector<Strings>{{"2"}});
}

const std::string kTwoFiles = "2 files were not installed; the log \"FileCopy\" names them.";

const Outcome kOutcomes[] = {
    {"Completes", "", true, true, true},
    {"FailedCopy", "1 file was not installed; the log \"FileCopy\" names it.", false, true, true},
#ifndef _WIN32
    {"FailedFlush", kTwoFiles, false, true, false},
    {"FailedFolderFlush", kTwoFiles, false, true, false},
#endif
    {"FailedVerification", "1 file was not installed as shipped; the log \"Verify\" names it.",
     false, true, true},
    {"FailedScripts",
     "2 SQL scripts failed; the logs \"SQL Script - b.sql\" and \"SQL Scripts\" name them.", true,
     false, true},
    {"RefusedObject", "3 Metabase statements failed; the log \"Metabase\" names them.", true, true,
     true},
    {"RefusedModule", "1 Metabase statement failed; the log \"Metabase\" names it.", false, true,
     true},
};

INSTANTIATE_TEST_SUITE_P(Steps, StepsOfARun, ::testing::ValuesIn(kOutcomes),
                         [](const auto& param) { return std::string(param.param.name); });

// A module the package brings older keeps the versions recorded for it, and
// their date; the log says so.
TEST_F(InstallationRun, AModuleThePackageBringsOlderKeepsItsRecordedVersions) {
  writeRegistry("2.1.0.0", "2.2.0.0");
  site.writePackage("configuration files/Q-Common.ini", "[ReleaseInfo]\r\nVersion=2.1.0.0\r\n");
  sources.exec("QOMetabase",
               "INSERT INTO MODULE VALUES ('WEB01','WebServer','Q-Common','x','2.2.0')");
  EXPECT_EQ(install(), platform::EndProgram::kInstalled);
  const std::string common = site::moduleKey(site::kWebServerConfig, "Q-Common");
  EXPECT_EQ(registryValue(common, "AppVersion"), "2.2.0.0");
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT MODULE, INSTALLATIONDATE, VERSION FROM MODULE"),
            (std::vector<Strings>{{"Q-Alder", main.environment().stamp.installDateText, "2.1.1"},
                                  {"Q-Common", "x", "2.2.0"}}));
  for (const std::string& kept : Strings{"MODULE WEB01/WebServer/Q-Common VERSION: \"2.2.0\"",
                                         common + " AppVersion: \"2.2.0.0\""})
    EXPECT_NE(log("Metabase")
                  .find("  Not lowered -> " + kept +
                        " kept, the package's version "
                        "2.1.0.0 is lower\r\n"),
              std::string::npos);
}

// A full disk for a while: each copy it fails is told with the system's
// reason; a log whose first two tries fail (the Metabase's in two steps), from
// start-up on, is told once with its reason and stops nothing: later lines go in.
TEST_F(InstallationRun, AFullDiskIsToldWithItsReasonAndALogThatCannotBeWrittenStopsNothing) {
  const std::string reason = platform::systemReason(test::kDiskFull);
  files.fails = [&](const platform::Placement&) { return reason; };
  std::map<fs::path, int> tries;
  disk.full = [&tries](const fs::path& f) { return f.filename() != "journal" && ++tries[f] <= 2; };
  EXPECT_EQ(install(), platform::EndProgram::kCompletedWithFailures);
  EXPECT_EQ(starts(), 3u);
  std::multiset<std::string> shown;
  for (const platform::MessageBox& box : view.boxes) shown.insert(box.text);
  const auto at = [&](const fs::path& below) {
    return platform::displayPath(site.instMainDir / below);
  };
  const fs::path run = main.environment().stamp.runFolder;
  const std::string saved = at("QOCustomized" / run / "QO11/Q-Alder/default.asp");
  for (const std::string& copy : {saved, at("Components/QAlder/Bramble.dll")})
    EXPECT_EQ(shown.count("Error while Copying the file to: " + copy + ": " + reason), 1u) << copy;
  for (const std::string section : {"FileCopy", "Start Services", "Metabase"})
    EXPECT_EQ(shown.count("Cannot write to the log file.\r\n" +
                          at("QOLog" / run / (section + ".txt")) + ": " + reason),
              1u);
  EXPECT_NE(log("FileCopy").find(" to: " + saved + " -> " + saved + ": " + reason + "\r\n"),
            std::string::npos);
  EXPECT_TRUE(log("Start Services").ends_with("* End starting the Windows NT services *\r\n\r\n"));
}

TEST_F(InstallationRun, AFileEditedAfterRetrieveIsSavedFirst) {
  site.write("inst/QO11/Q-Alder/orderstatus.asp", test::kOldPage);
  site.writePackage("Web/Q-Alder/orderstatus.asp", test::kNewPage);
  EXPECT_EQ(install([&] { site.write("inst/QO11/Q-Alder/orderstatus.asp", "edited at noon"); }),
            platform::EndProgram::kInstalled);
  const fs::path saved = site.instMainDir / "QOCustomized" / main.environment().stamp.runFolder;
  EXPECT_EQ(test::readText(saved / "QO11/Q-Alder/orderstatus.asp"), "edited at noon");
  EXPECT_EQ(test::readText(saved / "QO11/Q-Alder/default.asp"), test::kOurPage);
  EXPECT_NE(log("FileCopy")
                .find("  Saved before it is replaced, changed after the information "
                      "was retrieved -> "),
            std::string::npos);
#ifndef _WIN32
  // Logs and saved files may hold passwords: their run folders are private.
  for (const char* kind : {"QOLog", "QOCustomized"})
    EXPECT_EQ(
        fs::status(site.instMainDir / kind / main.environment().stamp.runFolder).permissions(),
        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec)
        << kind;
#endif
}

// The run writes the database part's versions too: one of another type than
// a string refuses it before it changes anything.
TEST_F(InstallationRun, ADatabaseVersionOfAnotherTypeRefusesTheRunBeforeAnyChange) {
  writeRegistry("2.1.0.0", "2.1.0.0", "\"AppVersion\"=dword:00020100\r\n");
  const std::string before = site.snapshot();
  EXPECT_EQ(install(), platform::EndProgram::kFailed);
  EXPECT_NE(view.boxes.back().text.find("DbServerConfig\\Modules\\Q-Alder is of type REG_DWORD"),
            std::string::npos);
  EXPECT_EQ(site.snapshot(), before);
}

#ifndef _WIN32
// Windows holds one file for names equal but for letter case: the later
// entry is installed onto the first one's path, as Windows would.
TEST_F(InstallationRun, EntriesEqualButForLetterCaseAreInstalledOntoTheFirstOnesPath) {
  site.writePackage("Web/Q-Alder/New.asp", "first");
  site.writePackage("Web/Q-Alder/new.asp", "second");
  site.writePackage("Web/Q-Alder/Img/a.gif", "a");
  site.writePackage("Web/Q-Alder/img/b.gif", "b");
  EXPECT_EQ(install(), platform::EndProgram::kInstalled);
  EXPECT_EQ(test::treeText(site.instMainDir / "QO11" / "Q-Alder"),
            "Img/\nImg/a.gif = a\nImg/b.gif = b\nNew.asp = second\ndefault.asp = " +
                test::kNewPage + "\n");
  EXPECT_NE(log("FileCopy").find("  Installed again, from Web\\Q-Alder\\new.asp -> "),
            std::string::npos);
}
#endif

// Told to end while it undoes a run killed with the services stopped, undo
// still starts them: the request ends the records, not that.
TEST_F(InstallationRun, AnUndoToldToEndStillStartsTheServicesTheKilledRunLeftStopped) {
  journal::Journal killed(actions::journalFolder(site.instMainDir, "killed"));
  killed.begin(site.env.stamp);
  killed.write(journal::ServicesStopped{});
  const actions::ActionServices actions{commands, com, mts, files};
  const actions::UndoPlan plan = actions::planUndo(site.env, actions, site.instMainDir, "killed");
  platform::requestInterrupt(SIGTERM);
  EXPECT_TRUE(actions::undoRun(site.env, actions, site.instMainDir, plan).notUndone.empty());
  EXPECT_EQ(starts(), 3u);
}

// An undo cut short while an MTS package's components were taken out is
// taken up from the list it noted: the other module's component comes back
// in its place, though the run's own DLL is there as before, and the note goes.
TEST_F(InstallationRun, AnUndoCutShortInAnMtsPackageIsTakenUpFromItsNote) {
  const std::string dll = site.write("inst/Components/QAlder/u.dll", "MZ").string();
  const std::string other = site.write("inst/Components/QOCommon/o.dll", "MZ").string();
  test::writeCatalog(site, {dll});
  const fs::path folder = actions::journalFolder(site.instMainDir, "cut");
  journal::Journal cut(folder);
  cut.begin(site.env.stamp);
  cut.write(journal::Mts{std::string(actions::kMtsPackageName), dll, false, {dll, other}});
  platform::writeFileAtomically(folder / "mts-taken", "Q-Orchard\n" + dll + "\n" + other + "\n");
  const actions::ActionServices actions{commands, com, mts, files};
  EXPECT_TRUE(actions::undoRun(site.env, actions, site.instMainDir,
                               actions::planUndo(site.env, actions, site.instMainDir, "cut"))
                  .complete());
  EXPECT_EQ(test::storedDlls(site, "{C}"), (Strings{dll, other}));
  EXPECT_FALSE(fs::exists(folder / "mts-taken"));
}

// A killed run is not offered for undo while a later run stands: undoing it
// would take away what that run installed.
TEST_F(InstallationRun, AKilledRunIsNotOfferedForUndoWhileALaterRunStands) {
  ASSERT_EQ(runAgain(), platform::EndProgram::kInstalled);
  const fs::path folder = actions::journalFolder(site.instMainDir, "killed");
  journal::Journal(folder).write(journal::Create{(site.instMainDir / "QO11/a.asp").string(), "x"});
  fs::remove(journal::stateFileOf(folder));  // of an earlier version: older than every numbered run
  ASSERT_EQ(actions::unfinishedRuns(site.instMainDir), Strings{"killed"});
  (void)runAgain();
  ASSERT_FALSE(boxes.empty());
  for (const platform::MessageBox& box : boxes)
    EXPECT_FALSE(platform::contains(box.text, "did not finish")) << box.text;
}

}  // namespace
}  // namespace qsi::control

namespace qsi::control {
namespace {

// The scripts run again until a run completes them, and when they change.
TEST_F(InstallationRun, ScriptsRunAgainAfterAFailureOrAChangeNeverAfterACompletedRun) {
  const auto settings = [&] { return sources.rows("QAlder", "SELECT NAME FROM SETTINGS"); };
  databases.fails = [](std::string_view statement, int) {
    return platform::contains(statement, "('a'");
  };
  (void)runAgain();
  EXPECT_EQ(settings(), (std::vector<Strings>{{"b"}}));
  databases.fails = nullptr;
  for (int run = 0; run < 2; ++run) EXPECT_EQ(runAgain(), platform::EndProgram::kInstalled);
  EXPECT_EQ(settings(), (std::vector<Strings>{{"b"}, {"b"}, {"a"}}));
  site.writePackage("Sql/a.sql", "USE QAlder\r\nINSERT INTO SETTINGS VALUES ('c', '3')");
  EXPECT_EQ(runAgain(), platform::EndProgram::kInstalled);
  EXPECT_EQ(settings(), (std::vector<Strings>{{"b"}, {"b"}, {"a"}, {"b"}, {"c"}}));
  site.writePackage("Sql/Sequence.txt", "b.sql\r\na.sql\r\ngone.sql\r\n");  // never completes
  for (int run = 0; run < 2; ++run) (void)runAgain();
  EXPECT_EQ(settings().size(), 9u);
  EXPECT_EQ(starts(), 3u);  // the first run's only: the later ones install no file
}

// The record that cannot be written fails the run, which undo takes back
// whole; a value another program put into the installer's key stays. A file
// changed after the run is saved into a folder of this undo's own, though an
// undo in the same second saved one of that name already.
TEST_F(InstallationRun, ARecordThatCannotBeWrittenFailsTheRunAndUndoLeavesWhatChangedSince) {
  site.writePackage("configuration files/Q-Maple.ini", "[ReleaseInfo]\r\nVersion=2.1.1.0\r\n");
  site.writePackage("Web/Q-Oak/order.asp", "order");
  const std::string before = site.snapshot();
  const fs::path page = site.instMainDir / "QO11/Q-Alder/default.asp";
  const std::string old = test::readText(page);
  registry.fails = [&](std::string_view key, std::string_view) {
    if (!site::isInstallerKey(key)) return false;
    (void)site.registry.writeValue(site::kInstallerKey, "KeepJournals", "5");
    site.write("inst/QO11/Q-Alder/default.asp", "changed at once");
    return true;
  };
  using platform::Answer;
  EXPECT_EQ(runAgain({Answer::OK, Answer::OK, Answer::OK, Answer::Yes}),
            platform::EndProgram::kFailed);
  ASSERT_GE(boxes.size(), 3u);
  EXPECT_TRUE(boxes[boxes.size() - 3].text.starts_with(
      "Error 1010 in recordInstallation:\r\nError while updating the installer's record!"))
      << boxes[boxes.size() - 3].text;
  // Undone in part: the page changed after the run is left, and named.
  EXPECT_TRUE(platform::contains(
      boxes.back().text,
      "Left as it is: " + page.lexically_normal().string() + ": changed after the run"))
      << boxes.back().text;
  EXPECT_EQ(test::readText(page), "changed at once");
  EXPECT_EQ(site.registry.readValue(site::kInstallerKey, "KeepJournals"), "5");
  EXPECT_EQ(site.registry.subKeys(site::kInstallerKey), Strings{});
  ASSERT_TRUE(site.registry.deleteKey(site::kInstallerKey));
  site.write("inst/QO11/Q-Alder/default.asp", old);
  EXPECT_EQ(site.snapshot(), before);
}

}  // namespace
}  // namespace qsi::control
