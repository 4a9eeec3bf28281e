#include <gtest/gtest.h>

#include <regex>
#include <thread>
#ifndef _WIN32
#include <csignal>
#endif

#include "actions/Journal.h"
#include "actions/Services.h"
#include "e2e/EndToEndFixture.h"

namespace qsi::test {
namespace {

namespace fs = std::filesystem;

// Retrieve (password, two boxes), both reports, Start, closing box.
const std::string kInstall = "1\nsecret\n\n\n\n3\n\n4\n\n2\n\n";

TEST_F(EndToEnd, ServicePackInstallsFilesComponentsScriptsAndRecordsThem) {
  writePackage("ServicePack");
  const ProcessResult result = run(kInstall);
  ASSERT_EQ(result.status, 0) << result.out << result.err;

  const std::string stamp = runFolderName();
  EXPECT_EQ(readText(site.instMainDir / "QO11/Q-Alder/default.asp"), kNewPage);
  EXPECT_EQ(readText(site.instMainDir / "QOCustomized" / stamp / "QO11/Q-Alder/default.asp"),
            kOurPage);
  EXPECT_EQ(readText(site.instMainDir / "Components/QAlder/Bramble.dll"), "new component");
  std::string stopCalls;
  for (const auto& service : actions::getQOServices()) stopCalls += "stop.exe " + service + "\n";
  EXPECT_EQ(program.calls(), InstallerRun::kServiceCommandsNoted
                                 ? "net stop IISADMIN /y\nnet stop LDAPSVC /y\nnet stop W3SVC /y\n"
                                   "mtxstop \n" +
                                       stopCalls +
                                       "net start IISADMIN\nnet start LDAPSVC\nnet start W3SVC\n"
                                 : stopCalls);
  EXPECT_NE(readText(site.instMainDir / "QOLog" / stamp / "Stop Q-Orchard Services.txt")
                .find("  Error while stopping: qosvc05.exe (service may not exist or may "
                      "already be stopped)\r\n"),
            std::string::npos);

  EXPECT_EQ(sources.rows("QAlder", "SELECT NAME FROM SETTINGS ORDER BY rowid"),
            (std::vector<std::vector<std::string>>{{"b"}, {"a"}}));
  EXPECT_EQ(
      sources.rows("QOMetabase",
                   "SELECT OBJECT, CHECKSUM FROM OBJECT WHERE MACHINE='WEB01' ORDER BY OBJECT"),
      (std::vector<std::vector<std::string>>{
          {"Components\\QAlder\\Bramble.dll", ""},
          {"QO11\\Q-Alder\\default.asp", checksumOf(kNewPage)}}));
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT VERSION FROM MODULE WHERE MODULE='Q-Alder'"),
            std::vector<std::vector<std::string>>{{"2.1.1"}});
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT SERVICEPACK FROM SERVER"),
            std::vector<std::vector<std::string>>{{"2.1.1.0 "}});
  EXPECT_EQ(appVersion("WebServer"), "2.1.1");
  EXPECT_EQ(appVersion("DbServer"), "2.1.1");
  EXPECT_FALSE(fs::exists(program.windowsFolder() / "java"));  // the package has no classes

  // The reports, the plan offered once Start is, and the closing box naming
  // the folders this run wrote.
  EXPECT_NE(result.out.find("Customizations\n"), std::string::npos);
  EXPECT_NE(result.out.find("> Installation Plan\n"), std::string::npos) << result.out;
  const auto planOffered = result.out.find("  4  View Installation Plan\n");
  EXPECT_NE(planOffered, std::string::npos);
  EXPECT_GT(planOffered, result.out.find("The info is retrieved."));
  const std::string logs = shownFolder("QOLog");
  const std::string saved = shownFolder("QOCustomized");
  EXPECT_NE(result.out.find("[Q-SolutionInstaller]\nThe setup program has finished updating "
                            "Q-Alder.\n\nThe logfiles are written to the location: \n" +
                            logs + "\nThe Customized files are written to the location: \n" +
                            saved + "\n[OK]\n"),
            std::string::npos)
      << result.out;
  for (const char* log :
       {"Gathering Solution Information", "Gathering Current Site Information", "Customizations",
        "FilesToBeInstalled", "Stop Services", "FileCopy", "Register Components", "Metabase",
        "Start Services", "SQL Script - a.sql", "SQL Script - b.sql", "SQLfilesToBeInserted"})
    EXPECT_TRUE(fs::exists(site.instMainDir / "QOLog" / stamp / (std::string(log) + ".txt")))
        << log;
}

TEST_F(EndToEnd, SolutionWithScriptsOnlyRunsTheDatabasePartAndLeavesTheRegistry) {
  writePackage("Solution", false);
  const ProcessResult result = run("1\nsecret\n\n\n\n2\n\n");
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(program.calls(), "");
  EXPECT_EQ(sources.rows("QAlder", "SELECT COUNT(*) FROM SETTINGS"),
            std::vector<std::vector<std::string>>{{"2"}});
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT MACHINE, SERVER, PATCH FROM PATCH"),
            (std::vector<std::vector<std::string>>{{"SQL01", "DbServer", "0"}}));
  EXPECT_EQ(appVersion("WebServer"), "2.1.0.0");
  EXPECT_EQ(appVersion("DbServer"), "<none>");
  const std::string logs = shownFolder("QOLog");
  EXPECT_NE(result.out.find("The logfiles are written to the location: \n" + logs + "\n\n[OK]"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(result.out.find("Customized files"), std::string::npos);
}

TEST_F(EndToEnd, CancelRetryCancelAtThePasswordEndsTheProgram) {
  writePackage("ServicePack");
  const ProcessResult result = run("1\ntyped\nc\nr\nagain\ncancel\nC\n\n");
  EXPECT_EQ(result.status, 2) << result.out;
  const std::regex flow(
      "SQL Server Login Data\nSA Password: \n\\[OK\\] \\[Cancel\\]\n"
      "\\[Q-SollutionInstaller\\]\nThe installer cannot proceed without the SA Password\n"
      "\\[Retry\\] \\[Cancel\\]\n"
      "SQL Server Login Data\nSA Password: \n\\[OK\\] \\[Cancel\\]\n"
      "\\[Q-SollutionInstaller\\]\nThe installer cannot proceed without the SA Password\n"
      "\\[Retry\\] \\[Cancel\\]\n"
      "\\[Q-SolutionInstaller\\]\nThe installer is about to exit\n\\[OK\\]\n");
  EXPECT_TRUE(std::regex_search(result.out, flow)) << result.out;
  EXPECT_EQ(readText(site.instMainDir / "QO11/Q-Alder/default.asp"), kOurPage);
}

TEST_F(EndToEnd, ARefusingCheckEndsTheProgramWithItsMessage) {
  writePackage("ServicePack");
  const struct {
    std::string alder, common, message;
  } cases[] = {
      {"2.2.0.0", "2.1.0.0", "Q-Alder is already up to date!"},
      {"", "2.1.0.0", "Q-Alder is not installed yet,\n please install this product first!"},
      {"2.1.0.0", "2.0", "Q-Common version 2.1.0.0 is not installed yet,\n please install"},
  };
  for (const auto& c : cases) {
    writeRegistry(c.alder, c.common);
    if (c.alder.empty())
      site.writeRegistry(kConfig +
                         "WebServerConfig\\Modules\\Q-Common]\r\n\"AppVersion\"=\"2.1\"\r\n");
    const ProcessResult result = run("1\nsecret\n\n\n\n");
    EXPECT_EQ(result.status, 2) << c.message << "\n" << result.out;
    EXPECT_NE(result.out.find("[QSolutionInstaller]\n" + c.message), std::string::npos)
        << result.out;
  }
  EXPECT_EQ(readText(site.instMainDir / "QO11/Q-Alder/default.asp"), kOurPage);
}

#ifndef _WIN32
TEST_F(EndToEnd, AHostilePackageIsRefusedAtStartUpAndTheSiteLeftAsItWas) {
  writePackage("ServicePack");
  site.writePackage("Web/Q-Alder/..\\..\\..\\..\\x.asp", "escaped");
  fs::create_symlink(site.registryFile, site.installer / "Solution" / "Web" / "Q-Alder" / "r.asp");
  const std::string files = site.snapshot();
  const auto rows = metabaseRows();
  const ProcessResult result = run(kInstall);
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("The package is refused: 2 entries cannot be installed safely.\n"
                            "  Web\\Q-Alder\\..\\..\\..\\..\\x.asp: the name holds \"\\\"\n"
                            "  Web\\Q-Alder\\r.asp: it is a link\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(site.snapshot(), files);
  EXPECT_EQ(metabaseRows(), rows);
  EXPECT_EQ(program.calls(), "");
}

// SIGTERM while the services are stopped: the command in hand is ended, the
// services are started again, and the run ends with the failure shown.
TEST_F(EndToEnd, SigtermAfterTheStopStartsTheServicesAgain) {
  writePackage("ServicePack");
  const fs::path hung = site.root / "hung";
  writeScript(site.root / "commands" / "net",
              "echo \"net $*\" >> '" + (site.root / "ran").string() + "'\n" +
                  "[ \"$1 $2\" = \"stop W3SVC\" ] && { touch '" + hung.string() +
                  "'; exec /bin/sleep 60; }\nexit 0");
  const ProcessResult result = program.run(kInstall, [&](unsigned long pid) {
    for (int i = 0; i < 2000 && !fs::exists(hung); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(static_cast<pid_t>(pid), SIGTERM);
  });
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_TRUE(program.calls().ends_with(
      "net stop W3SVC /y\nnet start IISADMIN\nnet start LDAPSVC\nnet start W3SVC\n"))
      << program.calls();
  EXPECT_NE(result.out.find("The installer was told to end (signal 15)."), std::string::npos)
      << result.out;
  EXPECT_NE(readText(site.instMainDir / "QOLog" / runFolderName() / "Start Services.txt")
                .find("  The run ended with a failure; the services are started again: The "
                      "installer was told to end (signal 15).\r\n"),
            std::string::npos);
  EXPECT_EQ(readText(site.instMainDir / "QO11/Q-Alder/default.asp"), kOurPage);
}

// An installed file that cannot be read ends Retrieve with a box naming it,
// also written to the log, and nothing is installed.
TEST_F(EndToEnd, AnUnreadableInstalledFileIsShownAndLogged) {
  writePackage("ServicePack");
  fs::remove(site.instMainDir / "QO11/Q-Alder/default.asp");
  fs::create_symlink("/proc/self/mem", site.instMainDir / "QO11/Q-Alder/default.asp");
  const ProcessResult result = run(kInstall);
  EXPECT_EQ(result.status, 1) << result.out;
  const std::string shown = "Error 1010 in readCurrentSiteChecksums:\nThe installed file " +
                            (site.instMainDir / "QO11/Q-Alder/default.asp").string() +
                            " cannot be read: ";
  EXPECT_NE(result.out.find(shown), std::string::npos) << result.out;
  EXPECT_NE(readText(site.instMainDir / "QOLog" / runFolderName() /
                     "Gathering Current Site Information.txt")
                .find("  The run ended with a failure: Error 1010 in readCurrentSiteChecksums:"),
            std::string::npos);
  EXPECT_EQ(program.calls(), "");
}

// What a run may change and an undo must put back: the site, the registry and
// the machine's Java folder.
std::string everything(const TestSite& site, const InstallerRun& program) {
  return site.snapshot() + treeText(program.windowsFolder());
}

// The plan is what the run does: every file it names is copied, in its
// order; every script it runs has a log; what it skips leaves no trace.
TEST_F(EndToEnd, InstallThenUndoLeavesTheSiteAsItWasAndTheRunDidWhatThePlanSaid) {
  writeEveryKindPackage();
  const std::string before = everything(site, program);
  const ProcessResult installed = run(kInstall);
  ASSERT_EQ(installed.status, 0) << installed.out;
  EXPECT_NE(everything(site, program), before);
  const fs::path logs = site.instMainDir / "QOLog" / runFolderName();
  const std::string plan = readText(logs / "Installation Plan.txt");
  // Columns: two blanks, the action in 16, the installation path, "   from".
  std::string planned, copied;
  for (const std::string& line : platform::split(plan, '\n'))
    if (line.starts_with("  new ") || line.starts_with("  replace ") ||
        line.starts_with("  save, replace "))
      planned += line.substr(18, line.find("   from") - 18) + "\n";
  const std::string inst = platform::displayPath(site.instMainDir) + "/";
  for (const std::string& line : platform::split(readText(logs / "FileCopy.txt"), '\n'))
    if (line.starts_with("  Start Copy file -> " + inst))
      copied += platform::replaceAll(line.substr(21 + inst.size(), line.size() - 22 - inst.size()),
                                     "/", "\\") +
                "\n";
  EXPECT_EQ(copied, planned);
  EXPECT_TRUE(fs::exists(logs / "SQL Script - a.sql.txt") &&
              fs::exists(logs / "SQL Script - b.sql.txt"));
  EXPECT_NE(readText(logs / "SQL Scripts.txt").find("..\\x.sql: the name holds"),
            std::string::npos);
  EXPECT_NE(plan.find("  not installed   QO11\\images\\logo.gif"), std::string::npos) << plan;
  EXPECT_EQ(copied.find("logo.gif"), std::string::npos);

  const ProcessResult undone = program.run("", {}, {"--undo"});
  EXPECT_EQ(undone.status, 0) << undone.out;
  EXPECT_EQ(everything(site, program), before);
  EXPECT_NE(undone.out.find("scripts run and Metabase rows written are not undone"),
            std::string::npos)
      << undone.out;
}

TEST_F(EndToEnd, UndoSavesAFileChangedAfterTheRunAndNamesIt) {
  writePackage("ServicePack");
  ASSERT_EQ(run(kInstall).status, 0);
  const fs::path page = site.instMainDir / "QO11/Q-Alder/default.asp";
  site.write("inst/QO11/Q-Alder/default.asp", "edited after the run");
  const ProcessResult undone = program.run("", {}, {"--undo", runFolderName()});
  EXPECT_EQ(undone.status, 0) << undone.out;
  EXPECT_EQ(readText(page), kOurPage);
  EXPECT_NE(undone.out.find("Changed after the run, saved first: " + page.string()),
            std::string::npos)
      << undone.out;
  std::string saved;
  for (const auto& entry : fs::recursive_directory_iterator(site.instMainDir / "QOCustomized"))
    if (entry.path().filename() == "default.asp" &&
        readText(entry.path()) == "edited after the run")
      saved = entry.path().string();
  EXPECT_NE(saved.find("Undo"), std::string::npos) << saved;
  EXPECT_EQ(program.run("", {}, {"--undo"}).status, 2);  // nothing left to undo
}

// Killed at any instant, the run is undone at the next start, when the
// administrator answers Yes, and the site is as it was before.
TEST_F(EndToEnd, AKilledRunIsUndoneAtTheNextStartWhateverTheInstant) {
  writeEveryKindPackage();
  const fs::path saved = site.root / "saved";
  const auto keep = [&] {
    fs::remove_all(saved);
    fs::create_directories(saved);
    fs::copy(site.instMainDir, saved / "inst", fs::copy_options::recursive);
    fs::copy_file(site.registryFile, saved / "registry.reg");
  };
  const auto putBack = [&] {
    fs::remove_all(site.instMainDir);
    fs::copy(saved / "inst", site.instMainDir, fs::copy_options::recursive);
    fs::copy_file(saved / "registry.reg", site.registryFile, fs::copy_options::overwrite_existing);
    fs::remove_all(program.windowsFolder());
  };
  keep();
  const std::string before = everything(site, program);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(run(kInstall).status, 0);
  const auto whole = std::chrono::steady_clock::now() - started;
  int kills = 0;
  for (int instant = 0; instant < 48 && kills < 20; ++instant) {
    putBack();
    const auto delay = whole * (instant % 24 + 1) / 25;
    const ProcessResult killed = program.run(kInstall, [&](unsigned long pid) {
      std::this_thread::sleep_for(delay);
      ::kill(static_cast<pid_t>(pid), SIGKILL);
    });
    // A run killed after it ended, at its closing box, is no killed run.
    const auto ended = [&] {
      std::error_code none;  // killed before the lock: no journal yet
      for (const auto& run : fs::directory_iterator(site.instMainDir / "QOJournal", none))
        for (const auto& record : actions::Journal::read(run.path()))
          if (record.kind == actions::record::kEnd) return true;
      return false;
    };
    if (killed.status != 128 + SIGKILL || ended()) continue;
    ++kills;
    const ProcessResult again = run("y\n");
    EXPECT_EQ(everything(site, program), before)
        << "killed after " << std::chrono::duration<double>(delay).count() << " s\n"
        << again.out;
  }
  EXPECT_GE(kills, 20);
}
#endif

TEST_F(EndToEnd, AnUnhandledFailureEndsTheProgramWithItsDescription) {
  writePackage("ServicePack");
  site.writeRegistry();  // no module keys at all
  const ProcessResult result = run("1\nsecret\n\n\n\n\n");
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("Key not available in registry: "), std::string::npos);
  EXPECT_NE(result.out.find("Could not read the Siteinformation."), std::string::npos)
      << result.out;
}

// Apart from the paths and the date, the logs of one installation read the
// same on every platform, byte for byte.
TEST_F(EndToEnd, TheLogsOfAServicePackAreTheSameOnEveryPlatform) {
  writePackage("ServicePack");
  const ProcessResult result = run(kInstall);
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(portableLogs(),
            readText(fs::path(QSI_SOURCE_DIR) / "tests" / "e2e" / "ServicePackLogs.txt"));

  // Where stand-ins run net and mtxstop, they succeed; under Wine, net
  // refuses "/y" and knows none of these services, and there is no mtxstop.
  const bool succeed = InstallerRun::kServiceCommandsNoted;
  std::string stop = "\r\n* Begin stopping the Windows NT services *\r\n\r\n";
  std::string start = "\r\n* Begin starting the Windows NT services *\r\n\r\n";
  for (const std::string service : {"IISADMIN", "LDAPSVC", "W3SVC"}) {
    stop += "  Stopping service: " + service + "\r\n  " +
            (succeed ? "Stopped service : " + service
                     : "Error while stopping: " + service +
                           " (service may not exist or may already be stopped)") +
            "\r\n";
    start += "  Starting service: " + service + "\r\n  " +
             (succeed ? "Started service : " + service
                      : "Error while starting: " + service +
                            " (service may not exist or may already be started)") +
             "\r\n";
  }
  stop += succeed ? "  Stopped service : MTS\r\n" : "  Error while stopping: MTS\r\n";
  stop += "  \r\n\r\n* End stopping the Windows NT services *\r\n\r\n";
  start += "\r\n* End starting the Windows NT services *\r\n\r\n";
  const fs::path logs = site.instMainDir / "QOLog" / runFolderName();
  EXPECT_TRUE(readText(logs / "Stop Services.txt").ends_with(stop))
      << readText(logs / "Stop Services.txt");
  EXPECT_TRUE(readText(logs / "Start Services.txt").ends_with(start))
      << readText(logs / "Start Services.txt");
}

}  // namespace
}  // namespace qsi::test
