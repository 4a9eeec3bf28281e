#include "control/Main.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "actions/FileInstallation.h"
#include "actions/Services.h"
#include "actions/Undo.h"
#include "control/Checks.h"
#include "control/Customization.h"
#include "control/FileSelection.h"
#include "control/Planning.h"
#include "journal/Journaling.h"
#include "metabase/MetabaseStatements.h"
#include "metabase/MetabaseUpdate.h"
#include "metabase/RegistryUpdate.h"
#include "metabase/SAPassword.h"
#include "metabase/SqlScripts.h"
#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/Interrupt.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "site/InstallerRecord.h"
#include "site/KeptJournals.h"
#include "site/RootKey.h"
#include "solution/SolutionReader.h"

namespace qsi::control {

namespace fs = std::filesystem;
using platform::Answer;
using platform::Buttons;
using platform::Failure;
using platform::Icon;
using platform::InfoBox;
using platform::kCrLf;
using platform::ProgressBox;

namespace {

const std::string kLineBreak(kCrLf);
void restrictToPart(actions::InstallationPlan& plan, Part part);

// The password dialog as the password proof sees it.
class LoginAdapter final : public metabase::PasswordDialog {
 public:
  LoginAdapter(View& view, frmLogin& login) : view_(view), login_(login) {}
  bool ask() override {
    view_.showLogin(login_);
    return login_.OK;
  }
  [[nodiscard]] std::string password() const override { return login_.SAPassword; }

 private:
  View& view_;
  frmLogin& login_;
};

}  // namespace

Main::Main(Services services, View& view)
    : view_(view),
      clock_(services.clock),
      actions_(services.actions),
      env_{services.registry,  services.profiles, *this, std::move(services.installerFolder), {},
           services.databases, services.files,    {}} {}

void Main::Form_Load() {
  try {
    env_.stamp = platform::makeRunStamp(clock_.now());
    // Without a usable installation folder nothing can be written: this
    // says why, before anything else is tried.
    env_.logRoot = site::logRootOf(env_.registry);
    lockSite();
    offerUndoOfKilledRuns();
    getSolutionInformation();
    clearProgress();
  } catch (const std::exception& failure) {
    endWithFailure(failure);
  }
}

// One installer per site: the lock is taken before anything is written, and
// the run gets folders of its own, even beside a run of the same second.
void Main::lockSite() {
  const std::string instMainDir = site::getInstMainDir(env_.registry);
  std::error_code ec;
  // Without a usable installation folder nothing can be written; the first
  // log says why.
  if (site::instMainDirProblem(instMainDir) || !fs::is_directory(instMainDir, ec)) return;
  const fs::path base(instMainDir);
  const fs::path journals = base / "QOJournal";
  madeJournals_ = fs::create_directory(journals);
  const auto giveUp = std::chrono::steady_clock::now() + settings_.lockWait;
  while (true) {
    siteLock_ = platform::SiteLock::take(
        journals / "QOSolutionInstaller.lock",
        platform::SiteLock::describeThisProcess(env_.stamp.installDateText), heldBy_);
    if (siteLock_ || std::chrono::steady_clock::now() >= giveUp ||
        platform::interruptRequest() != 0)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  if (!siteLock_) {
    messageBox({"Another installer is working on this site: " + platform::escapeControls(heldBy_) +
                    "." + kLineBreak +
                    "Only one installer may change a site at a time; this one ends without "
                    "changing anything.",
                Buttons::OK, Icon::Critical});
    throw platform::EndProgram{platform::EndProgram::kStopped};
  }
  const std::string& stamp = env_.stamp.installDateAndTimeFormat;
  for (int n = 1;; ++n) {
    const std::string name = n == 1 ? stamp : stamp + " (" + std::to_string(n) + ")";
    if (fs::exists(base / "QOLog" / name) || fs::exists(base / "QOCustomized" / name) ||
        !fs::create_directory(journals / name))
      continue;
    platform::makePrivate(journals / name);
    env_.stamp.runFolder = name;
    return;
  }
}

void Main::getSolutionInformation() {
  stepLog_ = "Gathering Solution Information";
  if (!solutionLog_) solutionLog_.emplace(env_);
  solutionInfo_ = solution::readSolutionInfo(env_, folders_, *solutionLog_);
  heldBy_.clear();
  if (solutionInfo_.productName.empty())
    messageBox({"Solution info could not be found in the Solution.info file"});
}

void Main::press(Button button) {
  try {
    switch (button) {
      case Button::cmdRetrieveInfo:
        if (state_.cmdRetrieveInfoEnabled) cmdRetrieveInfo_Click();
        break;
      case Button::cmdStart:
        if (state_.cmdStartEnabled) cmdStart_Click();
        break;
      case Button::cmdCustimizationReport:
        if (state_.cmdCustimizationReportEnabled) cmdCustimizationReport_Click();
        break;
      case Button::cmdViewPlan:
        if (state_.cmdViewPlanEnabled) cmdViewPlan_Click();
        break;
    }
  } catch (const std::exception& failure) {
    endWithFailure(failure);
  }
}

void Main::cmdRetrieveInfo_Click() {
  LoginAdapter dialog(view_, login_);
  while (!metabase::validateSAPassword(env_, dialog)) {
    const Answer answer =
        messageBox({"The installer cannot proceed without the SA Password", Buttons::RetryCancel,
                    Icon::None, std::string(kPasswordRetryTitle), kLoginRetryQuestion});
    if (answer == Answer::Retry) continue;
    messageBox({"The installer is about to exit", Buttons::OK, Icon::Critical,
                std::string(kSolutionInstallerTitle)});
    throw platform::EndProgram{platform::EndProgram::kStopped};
  }
  messageBox({"The Installer is about to read the system information" + kLineBreak +
                  "This can take a while!",
              Buttons::OK, Icon::Information, std::string(kSolutionInstallerTitle)});
  getCurrentInstallationInformation();
  clearProgress();
  stepLog_ = "Customizations";
  control::buildCustomizationsLog(env_, solutionInfo_);
  setButtons(false, false, false);
  clearProgress();
  stepLog_ = "FilesToBeInstalled";
  determineWhatToInstall(env_, solutionInfo_, siteInfo_);
  plan_ = makeInstallationPlan(env_, solutionInfo_, siteInfo_, folders_);
  restrictToPart(plan_, settings_.part);
  hasPlan_ = true;
  planText_ = actions::planText(plan_);
  setButtons(false, true, false);
  clearProgress();
  if (solutionInfo_.hasCustomizedFiles) {
    setButtons(false, true, true);
    messageBox({"The info is retrieved." + kLineBreak +
                "To see which customized files have been found press View Report!" + kLineBreak +
                "To start the installation press Start!"});
  } else {
    messageBox({"The info is retrieved." + kLineBreak + "To start the installation press Start!"});
  }
}

bool Main::planChangesSite() const {
  return hasPlan_ && ((solutionInfo_.hasFiles && plan_.webPassedOver.empty()) ||
                      (solutionInfo_.hasSqlScripts && plan_.databasePassedOver.empty()));
}

void Main::endPlanOnly() {
  writePlan();
  siteLock_.reset();
  const fs::path journals =
      fs::path(siteInfo_.InstMainDir.empty() ? site::getInstMainDir(env_.registry)
                                             : siteInfo_.InstMainDir) /
      "QOJournal";
  std::error_code ec;
  if (!env_.stamp.runFolder.empty()) fs::remove(journals / env_.stamp.runFolder, ec);
  if (madeJournals_) {
    fs::remove(journals / "QOSolutionInstaller.lock", ec);
    fs::remove(journals, ec);
  }
}

void Main::getCurrentInstallationInformation() {
  stepLog_ = "Gathering Current Site Information";
  if (!siteLog_) siteLog_.emplace(env_);
  siteInfo_ = site::readSiteInfo(env_, *siteLog_);
  control::readCurrentSiteChecksums(env_, solutionInfo_, *siteLog_);
  checkProductVersion(env_, solutionInfo_, InstalledVersion);
  checkDependencyProduct(env_, solutionInfo_);
  checkDependencyProductVersion(env_, solutionInfo_, InstalledVersion);
  checkDependencyCommonVersion(env_, solutionInfo_, InstalledVersion);
}

namespace {

// "2 SQL scripts failed; the logs "A" and "B" name them."
std::string failures(std::size_t count, std::string_view one, std::string_view many,
                     const std::vector<std::string>& logs) {
  std::vector<std::string> named;
  for (const std::string& log : logs)
    if (std::find(named.begin(), named.end(), log) == named.end()) named.push_back(log);
  std::string text = std::to_string(count) + " " + std::string(count == 1 ? one : many) +
                     (named.size() == 1 ? "; the log " : "; the logs ");
  for (std::size_t i = 0; i < named.size(); ++i)
    text += (i == 0 ? "" : i + 1 == named.size() ? " and " : ", ") + ("\"" + named[i] + "\"");
  return text + (named.size() > 1 ? " name them." : count == 1 ? " names it." : " names them.");
}

// The part a run leaves out runs nothing, and its plan says so.
void restrictToPart(actions::InstallationPlan& plan, Part part) {
  if (part == Part::web) {
    const std::string why = "the database part is not run (--part web)";
    for (actions::PlannedScript& script : plan.scripts)
      if (script.skipped.empty()) script.skipped = why;
    plan.databasePassedOver = why;
  } else if (part == Part::db) {
    const std::string why = "the web server part is not run (--part db)";
    for (actions::PlannedFile& file : plan.files) {
      if (file.action == actions::FileAction::NotInstalled) continue;
      file = {
          file.entry, file.path, file.module, file.packagePath, actions::FileAction::NotInstalled,
          why};
    }
    plan.stopsServices = false;
    plan.javaClasses.clear();
    plan.webPassedOver = why;
  }
}

// After a run that completed, the journals and saved files of older runs go;
// the log "Journal" names them. A failure here costs the run nothing.
void pruneJournals(const platform::Environment& env, const fs::path& instMainDir) {
  try {
    std::string problem;
    const std::size_t keep = site::keptJournals(env.registry, problem);
    const std::vector<std::string> pruned = actions::pruneRuns(instMainDir, keep);
    if (problem.empty() && pruned.empty()) return;
    log::CLog log(env);
    log.openLogFile("Journal");
    if (!problem.empty()) log.writeLine(problem);
    for (const std::string& run : pruned) log.writeLine("Pruned -> " + run);
    log.closeLogFile();
  } catch (const std::exception&) {
  }
}

}  // namespace

void Main::cmdStart_Click() {
  clearProgress();
  setButtons(state_.cmdRetrieveInfoEnabled, false, state_.cmdCustimizationReportEnabled);
  writePlan();
  const fs::path instMainDir(siteInfo_.InstMainDir);
  qsi::journal::Journal journal(actions::journalFolder(instMainDir, env_.stamp.runFolder),
                                platform::filesOf(env_));
  journal.begin(env_.stamp);
  // The registry values and Metabase rows the run writes are told to the
  // journal first; SQL scripts tell it themselves.
  qsi::journal::JournalingRegistry registry(env_.registry, journal);
  qsi::journal::JournalingDatabases databases(platform::databasesOf(env_), journal);
  const platform::Environment recording{registry,   env_.profiles, *this,      env_.installerFolder,
                                        env_.stamp, &databases,    env_.files, env_.logRoot};
  RunOutcome outcome;
  bool servicesStopped = false;
  try {
    if (solutionInfo_.hasFiles && plan_.webPassedOver.empty())
      runWebServerPart(recording, journal, servicesStopped, outcome);
    if (solutionInfo_.hasSqlScripts && plan_.databasePassedOver.empty())
      runDatabasePart(recording, journal, outcome);
    journal.write(qsi::journal::End{});
    pruneJournals(env_, instMainDir);
  } catch (const std::exception& failure) {
    if (servicesStopped) {
      restartServices(failure);
      journal.append(qsi::journal::ServicesStarted{});
    }
    runOutcome_ = outcome;
    runChangedSite_ = journal.hasChanges();
    reportFailure(failure);
    offerUndo(journal, env_.stamp.runFolder);
    throw platform::EndProgram{platform::EndProgram::kFailed};
  }
  stepLog_.clear();
  runOutcome_ = outcome;
  runChangedSite_ = journal.hasChanges();
  setButtons(state_.cmdRetrieveInfoEnabled, false, state_.cmdCustimizationReportEnabled);
  clearProgress();
  const bool failed = outcome.hasFailures();
  messageBox({closingText(outcome), Buttons::OK, failed ? Icon::Warning : Icon::Information,
              std::string(kSolutionInstallerTitle)});
  throw platform::EndProgram{failed ? platform::EndProgram::kCompletedWithFailures
                                    : platform::EndProgram::kInstalled};
}

void Main::runWebServerPart(const platform::Environment& recording, qsi::journal::Journal& journal,
                            bool& servicesStopped, RunOutcome& outcome) {
  if (plan_.stopsServices) {
    servicesStopped = true;  // a stop cut short still gets its start
    journal.write(qsi::journal::ServicesStopped{});
    stepLog_ = "Stop Services";
    actions::stopNTServices(env_, actions_.commands);
    stepLog_ = "Stop Q-Orchard Services";
    actions::stopQOServices(env_, actions_.commands);
  }
  stepLog_ = actions::kCopyLog;
  outcome.files = actions::installFiles(env_, actions_, fs::path(siteInfo_.InstMainDir),
                                        solutionInfo_, folders_, plan_, journal);
  const std::set<std::string>& failed = outcome.files.failedModules;
  if (recordSection(recording, actions::installedOnly(solutionInfo_, outcome.files),
                    metabase::kWebServer, failed, true, outcome))
    site::recordInstalledModules(recording.registry, metabase::kWebServer,
                                 actions::installedModules(plan_, solutionInfo_, failed),
                                 env_.stamp.runFolder);
  if (plan_.stopsServices) {
    stepLog_ = "Start Services";
    actions::startNTServices(env_, actions_.commands);
    journal.append(qsi::journal::ServicesStarted{});
    servicesStopped = false;
  }
}

// A script that failed leaves the database part unrecorded as installed.
void Main::runDatabasePart(const platform::Environment& recording, qsi::journal::Journal& journal,
                           RunOutcome& outcome) {
  stepLog_ = metabase::kSkippedScriptsLog;
  outcome.failedScripts = metabase::runSQLScripts(env_, plan_.scripts, login_.SAPassword, &journal);
  recordSection(recording, actions::installedOnly(solutionInfo_, outcome.files),
                metabase::kDbServer, {}, outcome.failedScripts.empty(), outcome);
  if (outcome.failedScripts.empty()) recordDatabasePart(recording.registry);
}

// The section in the Metabase, then, unless the solution is of the type
// "Solution", its versions in the registry; a module whose file failed keeps
// its versions, the registry follows the MODULE rows, and no version is
// lowered. True when the section's versions were recorded.
bool Main::recordSection(const platform::Environment& recording,
                         const solution::SolutionInfo& recorded, std::string_view section,
                         const std::set<std::string>& failedModules, bool completed,
                         RunOutcome& outcome) {
  stepLog_ = "Metabase";
  std::set<std::string> keep = plan_.keptModules(section, false);
  keep.insert(failedModules.begin(), failedModules.end());
  const metabase::Recording written =
      metabase::updateMetabase(recording, recorded, section, login_.SAPassword, keep, completed);
  outcome.refusedStatements += written.refusedStatements;
  logKeptVersions(section);
  if (!written.versionsRecorded) return false;
  if (solutionInfo_.solutionType == "Solution") return true;
  keep = plan_.keptModules(section, true);
  keep.insert(failedModules.begin(), failedModules.end());
  metabase::updateRegistryModulesInfo(recording, recorded, section, keep);
  return true;
}

void Main::logKeptVersions(std::string_view section) const {
  std::optional<log::CLog> log;
  for (const actions::KeptVersion& kept : plan_.keptVersions) {
    if (kept.section != section) continue;
    if (!log) {
      log.emplace(env_);
      log->openLogFile("Metabase");
    }
    log->writeLine("Not lowered -> " + actions::keptText(kept));
  }
  if (log) log->closeLogFile();
}

// A database part that ran to its end is kept in the installer's record:
// its scripts are not run again, and its modules the suite has no key for
// are known.
void Main::recordDatabasePart(platform::Registry& registry) const {
  const std::string& run = env_.stamp.runFolder;
  site::recordInstalledModules(registry, metabase::kDbServer, solutionInfo_.modules, run);
  site::recordCompletedScripts(registry, plan_.scriptsChecksum, plan_.product, run);
}

// The plan as the administrator filed it: beside the run's logs. One that
// cannot be written is told as a log is; the logs tell what the run does, too.
void Main::writePlan() {
  fs::path file("Installation Plan.txt");
  try {
    file = log::CLog::runFolder(env_) / file;
    platform::writeFileAtomically(file, planText_);
  } catch (const std::exception& e) {
    logCannotBeWritten(file,
                       platform::withReason(platform::displayPath(file), platform::reasonOf(e)));
  }
}

// After a run that changed the site ended with a failure: the administrator
// may undo it at once. Told to end from outside, nobody answers: the next
// start asks again.
void Main::offerUndo(qsi::journal::Journal& journal, const std::string& run) {
  if (!journal.hasChanges()) return;
  try {
    journal.flush();
  } catch (const std::exception&) {
  }
  if (platform::nobodyToAnswer()) return;
  // A Ctrl-C that ended the run has been acted on; the undo asked for after
  // it runs, and only a new request stops it.
  if (const auto undone = undo(run, "Undo the changes made by this run?", kOnFailureQuestion, true))
    undoneAfterFailure_ = *undone;
  else
    keepRun(journal.folder());
}

// The administrator declined the undo. When that cannot be recorded (a full
// disk), the next start asks again: the failure shown is the run's own.
void Main::keepRun(const fs::path& journalFolder) {
  try {
    qsi::journal::Journal(journalFolder, platform::filesOf(env_))
        .write(qsi::journal::Kept{env_.stamp.installDateText});
  } catch (const std::exception&) {
  }
}

// Start-up: a run whose journal has no end, and whose site lock was free, was
// killed. The administrator may undo it before anything else.
void Main::offerUndoOfKilledRuns() {
  if (!siteLock_ || settings_.planOnly) return;
  const fs::path instMainDir(site::getInstMainDir(env_.registry));
  for (const std::string& run : actions::unfinishedRuns(instMainDir)) {
    const std::string question = "The run of " + run + " did not finish." + kLineBreak +
                                 "Undo the changes made by this run?";
    if (!undo(run, question, kUnfinishedRunQuestion, false) && !platform::nobodyToAnswer())
      keepRun(actions::journalFolder(instMainDir, run));
  }
}

// Shows what the undo of `run` will do, nothing changed yet, and asks
// `question`; on Yes, undoes it and tells what could not be undone. Returns
// nothing when declined, else whether it was undone whole.
std::optional<bool> Main::undo(const std::string& run, const std::string& question,
                               std::string_view key, bool afterInterrupt) {
  const fs::path instMainDir(site::getInstMainDir(env_.registry));
  platform::RunStamp stamp = env_.stamp;
  stamp.runFolder = run;  // the "Undo" log goes beside the run's own logs
  const platform::Environment runEnv{env_.registry,        env_.profiles, *this,
                                     env_.installerFolder, stamp,         env_.databases,
                                     env_.files,           env_.logRoot};
  const actions::UndoPlan plan = actions::planUndo(runEnv, actions_, instMainDir, run);
  // A box holds the head of a long plan; the log "Undo" gets all of it.
  constexpr std::size_t kStepsShown = 30;
  platform::MessageBox box{actions::undoPlanText(plan, kStepsShown) + kLineBreak + question,
                           Buttons::YesNo, Icon::None};
  box.question = key;
  if (messageBox(box) != Answer::Yes) return std::nullopt;
  if (afterInterrupt) platform::clearInterruptRequest();
  const actions::UndoResult result = actions::undoRun(runEnv, actions_, instMainDir, plan);
  messageBox({actions::undoSummary(run, result, log::CLog::logFilePath(runEnv, actions::kUndoLog)),
              Buttons::OK, result.complete() ? Icon::Information : Icon::Critical});
  return result.complete();
}

// Every way out of a run that stopped the services starts them again: a
// failure, an exception, an interruption. Nothing may cut this short.
void Main::restartServices(const std::exception& failure) {
  const platform::InterruptShield shield;
  try {
    actions::startNTServices(
        env_, actions_.commands,
        std::string("The run ended with a failure; the services are started again: ") +
            failure.what());
  } catch (const std::exception&) {  // the failure that ended the run is the one shown
  }
}

std::string Main::closingText(const RunOutcome& outcome) const {
  const actions::InstallationResult& files = outcome.files;
  const std::filesystem::path instMainDir(siteInfo_.InstMainDir);
  const std::string& run = env_.stamp.runFolder;
  std::string text = "The setup program has finished updating " + solutionInfo_.productName + "." +
                     kLineBreak + kLineBreak;
  text += "The logfiles are written to the location: " + kLineBreak +
          platform::displayPath(instMainDir / "QOLog" / run, true) + "." + kLineBreak;
  // Files saved for another reason than a customization are named too.
  if (solutionInfo_.hasCustomizedFiles || files.savedFiles > 0)
    text += "The Customized files are written to the location: " + kLineBreak +
            platform::displayPath(instMainDir / "QOCustomized" / run, true) + ".";
  const auto paragraph = [&](const std::string& more) {
    text += (text.ends_with(kLineBreak) ? "" : kLineBreak) + kLineBreak + more;
  };
  // Each failure names the log that tells it.
  const auto named = [](std::string_view log) { return std::vector{std::string(log)}; };
  if (files.failedFiles > 0)
    paragraph(failures(files.failedFiles, "file was not installed", "files were not installed",
                       named(actions::kCopyLog)));
  if (files.failedVerifications > 0)
    paragraph(failures(files.failedVerifications, "file was not installed as shipped",
                       "files were not installed as shipped", named(actions::kVerifyLog)));
  if (files.failedRegistrations > 0)
    paragraph(failures(files.failedRegistrations, "component registration failed",
                       "component registrations failed", named(actions::kComponentLog)));
  if (!outcome.failedScripts.empty())
    paragraph(failures(outcome.failedScripts.size(), "SQL script failed", "SQL scripts failed",
                       outcome.failedScripts));
  if (outcome.refusedStatements > 0)
    paragraph(failures(outcome.refusedStatements, "Metabase statement failed",
                       "Metabase statements failed", named("Metabase")));
  return text;
}

void Main::cmdCustimizationReport_Click() {
  view_.showReport(frmReport{control::showCustomizationReport(env_)});
}

void Main::cmdViewPlan_Click() {
  view_.showReport(frmReport{planText_, std::string(frmReport::kInstallationPlan)});
}

void Main::endWithFailure(const std::exception& e) {
  reportFailure(e);
  throw platform::EndProgram{platform::EndProgram::kFailed};
}

void Main::reportFailure(const std::exception& e) {
  const auto* failure = dynamic_cast<const Failure*>(&e);
  std::string text =
      failure != nullptr
          ? "Error " + std::to_string(failure->number()) + " in " + failure->source() + ":" +
                kLineBreak + failure->description()
          : "Error " + std::to_string(platform::kUnexpectedFailure) + ":" + kLineBreak + e.what();
  if (failure != nullptr && !failure->cause().empty()) text += kLineBreak + failure->cause();
  ReportedError& told = errors_.emplace_back();
  told.number = failure != nullptr ? failure->number() : platform::kUnexpectedFailure;
  told.source = failure != nullptr ? failure->source() : "";
  told.description = failure != nullptr ? failure->description() : e.what();
  told.cause = failure != nullptr ? failure->cause() : "";
  told.step = stepLog_;
  // The log of the step that failed says so, when the step has written one.
  if (!stepLog_.empty()) {
    try {
      if (fs::exists(log::CLog::logFilePath(env_, stepLog_))) {
        log::CLog log(env_);
        log.openLogFile(stepLog_);
        log.writeLine("The run ended with a failure: " +
                      platform::replaceAll(text, kLineBreak, " "));
        log.closeLogFile();
        told.logFile = log::CLog::logFilePath(env_, stepLog_).string();
      }
    } catch (const std::exception&) {  // the box still tells it
    }
  }
  messageBox({text, platform::Buttons::OK, platform::Icon::Critical});
}

void Main::clearProgress() {
  setProgress(ProgressBox::Text, "");
  setProgress(ProgressBox::Detail, "");
}

void Main::setButtons(bool retrieve, bool start, bool report) {
  state_.cmdRetrieveInfoEnabled = retrieve;
  state_.cmdStartEnabled = start;
  state_.cmdCustimizationReportEnabled = report;
  state_.cmdViewPlanEnabled = start;
  view_.refresh(Element::buttons, state_);
}

void Main::setProgress(ProgressBox box, std::string_view text, bool repaint) {
  const bool isText = box == ProgressBox::Text;
  // Set for every file: the text is copied into the room the last one had.
  (isText ? state_.txtProgressText : state_.txtProgressDetail).assign(text);
  if (repaint)
    view_.refresh(isText ? Element::txtProgressText : Element::txtProgressDetail, state_);
}

void Main::append(InfoBox box, std::string_view text) {
  const bool isSolution = box == InfoBox::Solution;
  (isSolution ? state_.txtSolution : state_.txtCurrent).append(text);
  view_.refresh(isSolution ? Element::txtSolution : Element::txtCurrent, state_);
}

void Main::setProgressCount(std::size_t done, std::size_t total) {
  state_.filesDone = done;
  state_.filesTotal = total;
  view_.refresh(Element::progressBar, state_);
}

Answer Main::messageBox(const platform::MessageBox& box) {
  return view_.messageBox(box);
}

void Main::logCannotBeWritten(const fs::path& log, std::string_view why) {
  if (toldLogs_.insert(log).second) UserInterface::logCannotBeWritten(log, why);
}

}  // namespace qsi::control
