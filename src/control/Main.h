#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "actions/ActionServices.h"
#include "actions/FileInstallation.h"
#include "actions/InstallationPlan.h"
#include "control/Dialogs.h"
#include "control/View.h"
#include "journal/Journal.h"
#include "log/CLog.h"
#include "platform/Clock.h"
#include "platform/Environment.h"
#include "platform/Failure.h"
#include "platform/SiteLock.h"
#include "site/SiteInformation.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::control {

// The platform services a run is given.
struct Services {
  platform::Registry& registry;
  platform::ProfileReader& profiles;
  const platform::Clock& clock;
  std::filesystem::path installerFolder;
  actions::ActionServices actions;
  platform::Databases* databases = nullptr;  // nullptr: the machine's ODBC data sources
  platform::WritableFiles* files = nullptr;  // of logs and journals; nullptr: the machine's
};

enum class Button { cmdRetrieveInfo, cmdStart, cmdCustimizationReport, cmdViewPlan };

// What an installation run could not do, as its closing box tells it.
struct RunOutcome {
  actions::InstallationResult files;
  std::vector<std::string> failedScripts;  // the log that tells each one
  std::size_t refusedStatements = 0;       // by the Metabase, told in "Metabase"

  [[nodiscard]] bool hasFailures() const {
    return files.hasFailures() || !failedScripts.empty() || refusedStatements > 0;
  }
};

// Which part of the package a run carries out: the web server part (files,
// components, services and their records), the database part (scripts and
// their records), or both.
enum class Part { web, db, all };

// How a run that nobody watches is driven; the windows keep the defaults.
struct RunSettings {
  Part part = Part::all;
  std::chrono::seconds lockWait{0};  // how long to wait for another installer's lock
  bool planOnly = false;  // the plan is all: no unfinished run is undone, nothing is kept
};

// A failure the run told, as the result file names it.
struct ReportedError {
  long number = 0;
  std::string source;
  std::string step;  // the step's log, or empty
  std::string description;
  std::string cause;
  std::string logFile;  // the log it was written to, or empty
};

// The captions of the main window's buttons.
inline constexpr std::string_view kViewPlanCaption = "View Installation Plan";
// The main window's caption, in every front-end.
inline constexpr std::string_view kMainWindowCaption = "Q-Orchard Solution Installer";
// The titles of the flow's message boxes, spelled as the administrators know
// them. The SA password's box carries its own: the double "l" is no typo of
// ours but the box's title as it has always been shown, and is kept.
inline constexpr std::string_view kSolutionInstallerTitle = "Q-SolutionInstaller";
inline constexpr std::string_view kPasswordRetryTitle = "Q-SollutionInstaller";

// The main window's model: it owns what one run learns and runs the flows.
// Front-ends draw its state and forward button presses to press().
class Main final : public platform::UserInterface {
 public:
  Main(Services services, View& view);

  // Start-up: stamps the run, takes the site's lock (a second installer on
  // the site ends with exit status 2) and reads the package. A failure ends
  // the program (EndProgram) after telling the administrator.
  void Form_Load();
  // Runs a button's handler if the button is enabled. Any exception that
  // reaches the handler ends the program after a critical box naming it, also
  // written to the log of the step it ended; EndProgram propagates.
  void press(Button button);

  [[nodiscard]] const MainWindowState& state() const { return state_; }
  [[nodiscard]] const solution::SolutionInfo& solutionInfo() const { return solutionInfo_; }
  [[nodiscard]] const site::SiteInfo& siteInfo() const { return siteInfo_; }
  [[nodiscard]] const platform::Environment& environment() const { return env_; }
  [[nodiscard]] frmLogin& login() { return login_; }

  // Before Form_Load: the part to run, the wait for the lock, plan only.
  void configure(const RunSettings& settings) { settings_ = settings; }
  // What the run learnt, for its result.
  [[nodiscard]] const actions::InstallationPlan& plan() const { return plan_; }
  [[nodiscard]] bool hasPlan() const { return hasPlan_; }
  // Whether carrying out the plan changes the site.
  [[nodiscard]] bool planChangesSite() const;
  [[nodiscard]] const std::optional<RunOutcome>& runOutcome() const { return runOutcome_; }
  [[nodiscard]] bool runChangedSite() const { return runChangedSite_; }
  [[nodiscard]] bool undoneAfterFailure() const { return undoneAfterFailure_; }
  [[nodiscard]] const std::string& lockHolder() const { return heldBy_; }
  [[nodiscard]] const std::vector<ReportedError>& errors() const { return errors_; }
  [[nodiscard]] const solution::SolutionFolders& folders() const { return folders_; }
  // Ends a plan-only run: files the plan beside the logs, lets the site's
  // lock go and removes the run's empty journal folder (and the journals'
  // folder with its lock file when this run made them).
  void endPlanOnly();

  // platform::UserInterface
  void setProgress(platform::ProgressBox box, std::string_view text, bool repaint = true) override;
  void append(platform::InfoBox box, std::string_view text) override;
  void setProgressCount(std::size_t done, std::size_t total) override;
  platform::Answer messageBox(const platform::MessageBox& box) override;
  // Each log once in a run, however many of its writers fail.
  void logCannotBeWritten(const std::filesystem::path& log, std::string_view why) override;

 private:
  void getSolutionInformation();
  void getCurrentInstallationInformation();
  void cmdRetrieveInfo_Click();
  void cmdStart_Click();
  void runWebServerPart(const platform::Environment& recording, qsi::journal::Journal& journal,
                        bool& servicesStopped, RunOutcome& outcome);
  void runDatabasePart(const platform::Environment& recording, qsi::journal::Journal& journal,
                       RunOutcome& outcome);
  bool recordSection(const platform::Environment& recording, const solution::SolutionInfo& recorded,
                     std::string_view section, const std::set<std::string>& failedModules,
                     bool completed, RunOutcome& outcome);
  void logKeptVersions(std::string_view section) const;
  void cmdCustimizationReport_Click();
  void cmdViewPlan_Click();
  void lockSite();
  void offerUndoOfKilledRuns();
  void writePlan();
  void recordDatabasePart(platform::Registry& registry) const;
  void offerUndo(qsi::journal::Journal& journal, const std::string& run);
  void keepRun(const std::filesystem::path& journalFolder);
  std::optional<bool> undo(const std::string& run, const std::string& question,
                           std::string_view key, bool afterInterrupt);
  void restartServices(const std::exception& failure);
  void reportFailure(const std::exception& failure);
  [[nodiscard]] std::string closingText(const RunOutcome& outcome) const;
  void clearProgress();
  void setButtons(bool retrieve, bool start, bool report);
  [[noreturn]] void endWithFailure(const std::exception& failure);

  View& view_;
  const platform::Clock& clock_;
  actions::ActionServices actions_;
  platform::Environment env_;
  solution::SolutionFolders folders_;
  solution::SolutionInfo solutionInfo_;
  site::SiteInfo siteInfo_;
  std::string InstalledVersion;           // what the last check read from the registry
  std::optional<log::CLog> solutionLog_;  // the solution reader's, lives as long as the window
  std::optional<log::CLog> siteLog_;      // the site reader's, likewise
  frmLogin login_;
  MainWindowState state_;
  RunSettings settings_;
  bool hasPlan_ = false;
  std::optional<RunOutcome> runOutcome_;  // once Start ran to its end or failed
  bool runChangedSite_ = false;
  bool undoneAfterFailure_ = false;
  bool madeJournals_ = false;  // QOJournal was made by this run
  std::string heldBy_;         // the other installer, when the lock was held
  std::vector<ReportedError> errors_;
  std::optional<platform::SiteLock> siteLock_;  // held until the program ends
  std::string stepLog_;             // the log of the step in hand, which a failure is written to
  actions::InstallationPlan plan_;  // made after Retrieve; what Start carries out
  std::string planText_;            // the plan, as the administrator reads it
  std::set<std::filesystem::path> toldLogs_;  // the logs told to be unwritable
};

}  // namespace qsi::control
