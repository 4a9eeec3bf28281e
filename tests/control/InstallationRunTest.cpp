#include <gtest/gtest.h>

#include <csignal>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "control/Main.h"
#include "platform/Clock.h"
#include "platform/FileIO.h"
#include "platform/Interrupt.h"
#include "platform/Text.h"
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
    return {0, false};
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
                    with};
  }
  test::ScriptedView view;
  test::FaultyDatabases databases;
  test::FaultyFileReplacer files;
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

  // Start-up, Retrieve, Start; the exit status the run ended with.
  int install(const std::function<void()>& beforeStart = {}) {
    try {
      main.Form_Load();
      main.press(Button::cmdRetrieveInfo);
      if (beforeStart) beforeStart();
      main.press(Button::cmdStart);
    } catch (const platform::EndProgram& end) {
      return end.exitStatus;
    }
    return -1;
  }
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
    fresh.Form_Load();
    fresh.press(Button::cmdRetrieveInfo);
    fresh.press(Button::cmdViewPlan);
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
  main.Form_Load();
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

class HostilePackageAtStartUp : public InstallationRun,
                                public ::testing::WithParamInterface<HostileEntry> {};

TEST_P(HostilePackageAtStartUp, IsRefusedWithItsEntryNamedLeavingTheSiteAsItWas) {
  const HostileEntry& entry = GetParam();
  const fs::path at = site.installer / "Solution" / entry.path;
  if (entry.make == Make::NoPackage) fs::remove_all(site.installer / "Solution");
  if (entry.make == Make::File) site.writePackage(entry.path, "x");
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
}

const std::string kRefused = "The package is refused: 1 entry cannot be installed safely.\r\n  ";

const HostileEntry kHostileEntries[] = {
    {"NoPackage", Make::NoPackage, "", "Error retrieving the modulenames!"},
#ifndef _WIN32
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
  main.Form_Load();
  test::ScriptedView second;
  Main other{services(), second};
  try {
    other.Form_Load();
    ADD_FAILURE() << "the second installer must end";
  } catch (const platform::EndProgram& end) {
    EXPECT_EQ(end.exitStatus, platform::EndProgram::kStopped);
  }
  ASSERT_EQ(second.boxes.size(), 1u);
  EXPECT_EQ(second.boxes[0].text,
            "Another installer is working on this site: " +
                platform::SiteLock::describeThisProcess(main.environment().stamp.installDateText) +
                ".\r\nOnly one installer may change a site at a time; this one ends without "
                "changing anything.");
  EXPECT_TRUE(second.refreshes.empty());  // nothing was read, nothing written
}

// However the run fails after the services were stopped, they are started
// again, the "Start Services" log says why, and the failure is shown.
struct FailureKind {
  const char* name;
  const char* shown;
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
  } else {
    FAIL() << "no fault for " << kind;
  }
  EXPECT_EQ(install(), platform::EndProgram::kFailed);
  EXPECT_EQ(starts(), 3u);
  EXPECT_NE(log("Start Services")
                .find("  The run ended with a failure; the services are started again: "),
            std::string::npos)
      << log("Start Services");
  // The failure, then the offer to undo what the run changed (declined).
  ASSERT_GE(view.boxes.size(), 2u);
  const platform::MessageBox& shown = view.boxes[view.boxes.size() - 2];
  EXPECT_TRUE(shown.text.starts_with(GetParam().shown)) << shown.text;
  EXPECT_EQ(shown.icon, platform::Icon::Critical);
  EXPECT_EQ(view.boxes.back().text, "Undo the changes made by this run?");
  EXPECT_EQ(view.boxes.back().buttons, platform::Buttons::YesNo);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FailureAfterTheStop,
    ::testing::Values(
        FailureKind{"MetabaseError",
                    "Error 1010 in updateServicePackTable:\r\nError while updating the metabase!"},
        FailureKind{"MetabaseTimeOut", "Error 1040 in test:\r\nThe statement did not end"},
        FailureKind{"RegistryWrite",
                    "Error 1010 in updateRegistryModulesInfo:\r\nError while updating the "
                    "Registry!"},
        FailureKind{"CtrlC",
                    "Error 1050 in QSolutionInstaller:\r\nThe installation was interrupted "
                    "(Ctrl-C)."}),
    [](const auto& param) { return std::string(param.param.name); });

// A failed copy is recorded nowhere: its module keeps its old version.
TEST_F(InstallationRun, AFailedCopyIsRecordedNowhereAndEndsWithStatus3) {
  files.fails = [](const platform::Placement& placement) {
    return placement.destination.filename() == "default.asp" && !placement.asNew
               ? test::diskFull(placement.destination)
               : std::string();
  };
  EXPECT_EQ(install(), platform::EndProgram::kCompletedWithFailures);
  EXPECT_EQ(test::readText(site.instMainDir / "QO11/Q-Alder/default.asp"), test::kOurPage);
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT OBJECT, CHECKSUM FROM OBJECT ORDER BY OBJECT"),
            (std::vector<Strings>{{"Components\\QAlder\\Bramble.dll", ""},
                                  {"QO11\\Q-Alder\\default.asp", checksumOf(test::kOldPage)}}));
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT VERSION FROM MODULE WHERE SERVER='WebServer'"),
            std::vector<Strings>{{"2.1.0"}});
  EXPECT_EQ(appVersion("WebServer"), "2.1.0.0");
  EXPECT_EQ(starts(), 3u);
  ASSERT_FALSE(view.boxes.empty());
  EXPECT_TRUE(view.boxes.back().text.ends_with(
      "\r\n\r\n1 file was not installed; the log \"FileCopy\" names it."))
      << view.boxes.back().text;
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

}  // namespace
}  // namespace qsi::control
