#include "control/Main.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "actions/FileInstallation.h"
#include "actions/Undo.h"
#include "control/Checks.h"
#include "control/Customization.h"
#include "control/FileSelection.h"
#include "control/Planning.h"
#include "metabase/SAPassword.h"
#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/Interrupt.h"
#include "platform/Paths.h"
#include "platform/Text.h"
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

// The ending an exit status stands for; any other status is a refusal.
Ending endingOf(int exitStatus) {
  switch (exitStatus) {
    case platform::EndProgram::kInstalled:
      return Ending::completed;
    case platform::EndProgram::kCompletedWithFailures:
      return Ending::completedWithFailures;
    case platform::EndProgram::kFailed:
      return Ending::failed;
    default:
      return Ending::refused;
  }
}

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

std::optional<ProgramEnd> Main::Form_Load() {
  return ended([this]() -> std::optional<ProgramEnd> {
    env_.stamp = platform::makeRunStamp(clock_.now());
    // Without a usable installation folder nothing can be written: this
    // says why, before anything else is tried.
    env_.logRoot = site::logRootOf(env_.registry);
    lockSite();
    offerUndoOfKilledRuns();
    getSolutionInformation();
    clearProgress();
    return std::nullopt;
  });
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
  // A run writes only where undo will read: a refused root is named before any change.
  if (const auto refusal = actions::prepareJournalRoot(base, madeJournals_)) {
    messageBox({*refusal + kLineBreak + "This installer ends without changing anything.",
                Buttons::OK, Icon::Critical});
    throw platform::EndProgram{platform::EndProgram::kStopped};
  }
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

std::optional<ProgramEnd> Main::press(Button button) {
  return ended([this, button]() -> std::optional<ProgramEnd> {
    switch (button) {
      case Button::cmdRetrieveInfo:
        if (state_.cmdRetrieveInfoEnabled) cmdRetrieveInfo_Click();
        break;
      case Button::cmdStart:
        if (state_.cmdStartEnabled) {
          RunOutcome run = cmdStart_Click();
          const Ending ending = run.ending();
          return ProgramEnd{ending, std::move(run)};
        }
        break;
      case Button::cmdCustimizationReport:
        if (state_.cmdCustimizationReportEnabled) cmdCustimizationReport_Click();
        break;
      case Button::cmdViewPlan:
        if (state_.cmdViewPlanEnabled) cmdViewPlan_Click();
        break;
    }
    return std::nullopt;
  });
}

std::optional<ProgramEnd> Main::ended(const std::function<std::optional<ProgramEnd>()>& flow) {
  try {
    try {
      return flow();
    } catch (const AlreadyUpToDate&) {
      return ProgramEnd{Ending::upToDate, std::nullopt};
    } catch (const platform::EndProgram& end) {  // told already
      return ProgramEnd{endingOf(end.exitStatus), std::nullopt};
    } catch (const std::exception& failure) {
      reportFailure(tellFailure(env_, failure, stepLog_));
      return ProgramEnd{Ending::failed, std::nullopt};
    }
  } catch (...) {  // nothing may leave a flow: the window's message loop is above it
    return ProgramEnd{Ending::failed, std::nullopt};
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
  plan_ = makeInstallationPlan(env_, solutionInfo_, siteInfo_, folders_, settings_.part);
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
      fs::path(siteInfo_.instMainDir.empty() ? site::getInstMainDir(env_.registry)
                                             : siteInfo_.instMainDir) /
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

}  // namespace

RunOutcome Main::cmdStart_Click() {
  clearProgress();
  setButtons(state_.cmdRetrieveInfoEnabled, false, state_.cmdCustimizationReportEnabled);
  writePlan();
  const fs::path instMainDir(siteInfo_.instMainDir);
  qsi::journal::Journal journal(actions::journalFolder(instMainDir, env_.stamp.runFolder),
                                platform::filesOf(env_));
  journal.begin(env_.stamp);
  RunOutcome outcome = runInstallation(
      env_, actions_, {solutionInfo_, folders_, plan_, instMainDir, login_.SAPassword, stepLog_},
      journal);
  if (outcome.failure) {
    reportFailure(*outcome.failure);
    offerUndo(journal, env_.stamp.runFolder);
    outcome.undone = undoneAfterFailure_;
    return outcome;
  }
  stepLog_.clear();
  setButtons(state_.cmdRetrieveInfoEnabled, false, state_.cmdCustimizationReportEnabled);
  clearProgress();
  messageBox({closingText(outcome), Buttons::OK,
              outcome.hasFailures() ? Icon::Warning : Icon::Information,
              std::string(kSolutionInstallerTitle)});
  return outcome;
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
    // Not while later runs stand: undoing it would take away what they installed.
    if (actions::undoRefusal(instMainDir, run)) continue;
    const std::string question = "The run of " + run + " did not finish." + kLineBreak +
                                 "Undo the changes made by this run?";
    if (!undo(run, question, kUnfinishedRunQuestion, false) && !platform::nobodyToAnswer())
      keepRun(actions::journalFolder(instMainDir, run));
  }
}

// Shows what the undo of `run` will do, nothing changed yet, and asks
// `question`; on Yes, undoes it and tells what could not be undone, or why
// the undo failed. Returns nothing when declined, else whether it was undone
// whole (an undo that failed was not).
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
  const fs::path log = log::CLog::logFilePath(runEnv, actions::kUndoLog);
  try {
    const actions::UndoResult result = actions::undoRun(runEnv, actions_, instMainDir, plan);
    messageBox({actions::undoSummary(run, result, log), Buttons::OK,
                result.complete() ? Icon::Information : Icon::Critical});
    return result.complete();
  } catch (const std::exception& e) {
    // A full disk may fail the undo as it failed the run: the run stands,
    // and what it did is still told.
    messageBox({"The changes made by the run of " + run +
                    " are not undone: " + tellFailure(runEnv, e, {}).shown + kLineBreak +
                    "The run still stands; --undo takes it up again." + kLineBreak +
                    "The log: " + platform::displayPath(log),
                Buttons::OK, Icon::Critical});
    return false;
  }
}

std::string Main::closingText(const RunOutcome& outcome) const {
  const actions::InstallationResult& files = outcome.files;
  const std::filesystem::path instMainDir(siteInfo_.instMainDir);
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

void Main::reportFailure(const ReportedError& failure) {
  errors_.push_back(failure);
  messageBox({failure.shown, platform::Buttons::OK, platform::Icon::Critical});
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
