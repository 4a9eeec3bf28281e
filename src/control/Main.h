#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "actions/ActionServices.h"
#include "actions/FileInstallation.h"
#include "actions/InstallationPlan.h"
#include "control/Dialogs.h"
#include "control/Planning.h"
#include "control/Run.h"
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

// How a run that nobody watches is driven; the windows keep the defaults.
struct RunSettings {
  Part part = Part::all;
  std::chrono::seconds lockWait{0};  // how long to wait for another installer's lock
  bool planOnly = false;  // the plan is all: no unfinished run is undone, nothing is kept
};

// Where a flow ended the program: how, and what Start's run did.
struct ProgramEnd {
  Ending ending = Ending::refused;
  std::optional<RunOutcome> run;  // the run Start carried out, when it began

  [[nodiscard]] int exitStatus() const { return exitStatusOf(ending); }
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
  // the site is refused: exit status 2) and reads the package. Gives the
  // program's end when start-up ended it, after telling the administrator.
  [[nodiscard]] std::optional<ProgramEnd> Form_Load();
  // Runs a button's handler if the button is enabled; gives the program's
  // end when the flow ended it (Start always does). Any exception that
  // reaches the handler ends the program after a critical box naming it, also
  // written to the log of the step it ended. Nothing leaves it.
  [[nodiscard]] std::optional<ProgramEnd> press(Button button);

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
  // The handlers keep the names of the window's buttons; Start hands the
  // plan to runInstallation (control/Run.h) and shows what it returns.
  [[nodiscard]] RunOutcome cmdStart_Click();
  void cmdCustimizationReport_Click();
  void cmdViewPlan_Click();
  void lockSite();
  void offerUndoOfKilledRuns();
  void writePlan();
  void offerUndo(qsi::journal::Journal& journal, const std::string& run);
  void keepRun(const std::filesystem::path& journalFolder);
  std::optional<bool> undo(const std::string& run, const std::string& question,
                           std::string_view key, bool afterInterrupt);
  // Ends the flow: the end it gives, or the one an EndProgram (by its exit
  // status) or a failure brings (a failure after its box).
  std::optional<ProgramEnd> ended(const std::function<std::optional<ProgramEnd>()>& flow);
  void reportFailure(const ReportedError& failure);
  [[nodiscard]] std::string closingText(const RunOutcome& outcome) const;
  void clearProgress();
  void setButtons(bool retrieve, bool start, bool report);

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
  bool undoneAfterFailure_ = false;
  bool madeJournals_ = false;  // QOJournal was made by this run
  std::string heldBy_;         // the other installer, when the lock was held
  std::vector<ReportedError> errors_;
  std::optional<platform::SiteLock> siteLock_;  // held until the program ends
  std::string stepLog_;  // the step in hand outside a run, whose log a failure is written to
  actions::InstallationPlan plan_;            // made after Retrieve; what Start carries out
  std::string planText_;                      // the plan, as the administrator reads it
  std::set<std::filesystem::path> toldLogs_;  // the logs told to be unwritable
};

}  // namespace qsi::control
