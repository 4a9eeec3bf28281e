#pragma once

#include <cstddef>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/ActionServices.h"
#include "actions/FileInstallation.h"
#include "actions/InstallationPlan.h"
#include "journal/Journal.h"
#include "platform/Environment.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::control {

// How a flow ends the program. A run ends completed, completed with failures
// or failed; the flows before it may refuse the package or the site, or find
// it up to date already.
enum class Ending { completed, completedWithFailures, failed, refused, upToDate };

// The program's exit status for an ending: 0, 3, 1, and 2 for the rest.
[[nodiscard]] int exitStatusOf(Ending ending);

// A failure the program told: its number, source, description and cause, the
// step whose log tells it, and the box's text.
struct ReportedError {
  long number = 0;
  std::string source;
  std::string step;  // the step's log, or empty
  std::string description;
  std::string cause;
  std::string logFile;  // the log it was written to, or empty
  std::string shown;    // the critical box's text
};

// Makes the report of `failure` in `step`, and writes "The run ended with a
// failure: ..." to the step's log when the step has written one (that log is
// then the report's logFile). Never throws: the box still tells it.
[[nodiscard]] ReportedError tellFailure(const platform::Environment& env,
                                        const std::exception& failure, const std::string& step);

// What an installation run did and what it could not do, as its closing box
// and the result tell it.
struct RunOutcome {
  actions::InstallationResult files;
  std::vector<std::string> failedScripts;  // the log that tells each one
  std::size_t refusedStatements = 0;       // by the Metabase, told in "Metabase"
  std::optional<ReportedError> failure;    // the failure that ended the run
  bool changedSite = false;                // the journal holds changes
  bool undone = false;                     // undone at once after its failure

  [[nodiscard]] bool hasFailures() const {
    return files.hasFailures() || !failedScripts.empty() || refusedStatements > 0;
  }
  [[nodiscard]] Ending ending() const {
    return failure         ? Ending::failed
           : hasFailures() ? Ending::completedWithFailures
                           : Ending::completed;
  }
};

// What the run carries out: the plan the retrieve made and what it was made of.
struct RunInput {
  const solution::SolutionInfo& solution;
  const solution::SolutionFolders& folders;
  const actions::InstallationPlan& plan;
  std::filesystem::path instMainDir;
  std::string_view saPassword;
  std::string stepBefore;  // the step in hand when the run begins
};

// Carries out the plan under `journal` (begun): the web server part (services
// stopped, files, components, the section's records, services started) and the
// database part (scripts, records), each unless the plan passes it over; then
// the journal's end, and the journals of older runs pruned.
//
// A failure is not thrown: it ends the run, is told in the log of the step it
// ended (between two steps or after the last, in that of the step that ran
// last; before the first, in that of stepBefore) and is returned as the
// outcome's failure. Once the services were stopped, every way out starts them again,
// the "Start Services" log saying why, uncut by an interruption.
[[nodiscard]] RunOutcome runInstallation(const platform::Environment& env,
                                         const actions::ActionServices& actions,
                                         const RunInput& input, journal::Journal& journal);

}  // namespace qsi::control
