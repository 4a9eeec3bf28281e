#include "control/Run.h"

#include <exception>
#include <set>

#include "actions/Services.h"
#include "actions/Undo.h"
#include "journal/Journaling.h"
#include "log/CLog.h"
#include "metabase/MetabaseStatements.h"
#include "metabase/MetabaseUpdate.h"
#include "metabase/RegistryUpdate.h"
#include "metabase/SqlScripts.h"
#include "platform/Failure.h"
#include "platform/Interrupt.h"
#include "platform/Text.h"
#include "site/InstallerRecord.h"
#include "site/KeptJournals.h"

namespace qsi::control {

namespace fs = std::filesystem;

int exitStatusOf(Ending ending) {
  switch (ending) {
    case Ending::completed:
      return platform::EndProgram::kInstalled;
    case Ending::completedWithFailures:
      return platform::EndProgram::kCompletedWithFailures;
    case Ending::failed:
      return platform::EndProgram::kFailed;
    case Ending::refused:
    case Ending::upToDate:
      break;
  }
  return platform::EndProgram::kStopped;
}

ReportedError tellFailure(const platform::Environment& env, const std::exception& e,
                          const std::string& step) {
  const std::string lineBreak(platform::kCrLf);
  const auto* failure = dynamic_cast<const platform::Failure*>(&e);
  ReportedError told;
  told.number = failure != nullptr ? failure->number() : platform::kUnexpectedFailure;
  told.source = failure != nullptr ? failure->source() : "";
  told.description = failure != nullptr ? failure->description() : e.what();
  told.cause = failure != nullptr ? failure->cause() : "";
  told.step = step;
  told.shown = failure != nullptr
                   ? "Error " + std::to_string(told.number) + " in " + told.source + ":" +
                         lineBreak + told.description
                   : "Error " + std::to_string(told.number) + ":" + lineBreak + told.description;
  if (!told.cause.empty()) told.shown += lineBreak + told.cause;
  if (step.empty()) return told;
  try {
    const fs::path file = log::CLog::logFilePath(env, step);
    if (fs::exists(file)) {
      log::CLog log(env);
      log.openLogFile(step);
      log.writeLine("The run ended with a failure: " +
                    platform::replaceAll(told.shown, lineBreak, " "));
      log.closeLogFile();
      told.logFile = file.string();
    }
  } catch (const std::exception&) {  // the box still tells it
  }
  return told;
}

namespace {

// The step a failure is told in: the step that ran last, whether the failure
// ended it or came between two steps or after the last; before the first,
// the step in hand before the run. Steps do not nest.
class Steps {
 public:
  explicit Steps(std::string before) : last_(std::move(before)) {}
  [[nodiscard]] const std::string& failedIn() const { return last_; }

  // One step, from the start of its scope on.
  class Scope {
   public:
    Scope(Steps& steps, std::string_view name) { steps.last_ = name; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
  };

 private:
  std::string last_;
};

// Once the services were stopped, they are started again on every way out
// of the run: a failure, an exception, an interruption. Nothing may cut this
// short, and nothing it meets replaces the failure that ended the run.
class ServicesGuard {
 public:
  ServicesGuard(const platform::Environment& env, platform::CommandRunner& commands,
                journal::Journal& journal)
      : env_(env), commands_(commands), journal_(journal) {}
  ServicesGuard(const ServicesGuard&) = delete;
  ServicesGuard& operator=(const ServicesGuard&) = delete;
  ~ServicesGuard() { startAgain({}); }

  // Before the first stop: a stop cut short still gets its start.
  void stopping() { armed_ = true; }
  // The run started them itself.
  void started() { armed_ = false; }
  // The run ended with `failure`: the "Start Services" log says so first.
  void startAgain(std::string_view failure) {
    if (!armed_) return;
    armed_ = false;
    const platform::InterruptShield shield;
    std::string why = "The run ended with a failure; the services are started again";
    if (!failure.empty()) why += ": " + std::string(failure);
    try {
      actions::startNTServices(env_, commands_, why);
      journal_.append(journal::ServicesStarted{});
    } catch (const std::exception&) {
    }
  }

 private:
  const platform::Environment& env_;
  platform::CommandRunner& commands_;
  journal::Journal& journal_;
  bool armed_ = false;
};

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

class Run {
 public:
  Run(const platform::Environment& env, const actions::ActionServices& actions,
      const RunInput& input, journal::Journal& journal)
      : env_(env),
        actions_(actions),
        in_(input),
        journal_(journal),
        registry_(env.registry, journal),
        databases_(platform::databasesOf(env), journal),
        recording_{registry_, env.profiles, env.ui,    env.installerFolder,
                   env.stamp, &databases_,  env.files, env.logRoot},
        steps_(input.stepBefore),
        services_(env, actions_.commands, journal) {}

  RunOutcome carryOut() {
    RunOutcome outcome;
    try {
      if (in_.solution.hasFiles && in_.plan.webPassedOver.empty()) webServerPart(outcome);
      if (in_.solution.hasSqlScripts && in_.plan.databasePassedOver.empty()) databasePart(outcome);
      journal_.write(journal::End{});
      pruneJournals(env_, in_.instMainDir);
    } catch (const std::exception& failure) {
      services_.startAgain(failure.what());
      outcome.failure = tellFailure(env_, failure, steps_.failedIn());
    }
    outcome.changedSite = journal_.hasChanges();
    return outcome;
  }

 private:
  using Step = Steps::Scope;

  void webServerPart(RunOutcome& outcome) {
    const actions::InstallationPlan& plan = in_.plan;
    if (plan.stopsServices) {
      services_.stopping();
      journal_.write(journal::ServicesStopped{});
      {
        const Step step(steps_, "Stop Services");
        actions::stopNTServices(env_, actions_.commands);
      }
      const Step step(steps_, "Stop Q-Orchard Services");
      actions::stopQOServices(env_, actions_.commands);
    }
    {
      const Step step(steps_, actions::kCopyLog);
      outcome.files = actions::installFiles(env_, actions_, in_.instMainDir, in_.solution,
                                            in_.folders, plan, journal_);
    }
    {
      const Step step(steps_, "Metabase");
      const std::set<std::string>& failed = outcome.files.failedModules;
      if (recordSection(actions::installedOnly(in_.solution, outcome.files), metabase::kWebServer,
                        failed, true, outcome))
        site::recordInstalledModules(registry_, metabase::kWebServer,
                                     actions::installedModules(plan, in_.solution, failed),
                                     env_.stamp.runFolder);
    }
    if (plan.stopsServices) {
      const Step step(steps_, "Start Services");
      actions::startNTServices(env_, actions_.commands);
      journal_.append(journal::ServicesStarted{});
      services_.started();
    }
  }

  // A script that failed leaves the database part unrecorded as installed.
  void databasePart(RunOutcome& outcome) {
    {
      const Step step(steps_, metabase::kSkippedScriptsLog);
      outcome.failedScripts =
          metabase::runSQLScripts(env_, in_.plan.scripts, in_.saPassword, &journal_);
    }
    const Step step(steps_, "Metabase");
    const bool completed = outcome.failedScripts.empty();
    recordSection(actions::installedOnly(in_.solution, outcome.files), metabase::kDbServer, {},
                  completed, outcome);
    if (!completed) return;
    // Kept in the installer's record: its scripts are not run again, and its
    // modules the suite has no key for are known.
    const std::string& run = env_.stamp.runFolder;
    site::recordInstalledModules(registry_, metabase::kDbServer, in_.solution.modules, run);
    site::recordCompletedScripts(registry_, in_.plan.scriptsChecksum, in_.plan.product, run);
  }

  // The section in the Metabase, then, unless the solution is of the type
  // "Solution", its versions in the registry; a module whose file failed
  // keeps its versions, the registry follows the MODULE rows, and no version
  // is lowered. True when the section's versions were recorded.
  bool recordSection(const solution::SolutionInfo& recorded, std::string_view section,
                     const std::set<std::string>& failedModules, bool completed,
                     RunOutcome& outcome) {
    const auto kept = [&](bool inRegistry) {
      std::set<std::string> keep = in_.plan.keptModules(section, inRegistry);
      keep.insert(failedModules.begin(), failedModules.end());
      return keep;
    };
    const metabase::Recording written = metabase::updateMetabase(
        recording_, recorded, section, in_.saPassword, kept(false), completed);
    outcome.refusedStatements += written.refusedStatements;
    logKeptVersions(section);
    if (!written.versionsRecorded) return false;
    if (in_.solution.solutionType == "Solution") return true;
    metabase::updateRegistryModulesInfo(recording_, recorded, section, kept(true));
    return true;
  }

  void logKeptVersions(std::string_view section) const {
    std::optional<log::CLog> log;
    for (const actions::KeptVersion& kept : in_.plan.keptVersions) {
      if (kept.section != section) continue;
      if (!log) {
        log.emplace(env_);
        log->openLogFile("Metabase");
      }
      log->writeLine("Not lowered -> " + actions::keptText(kept));
    }
    if (log) log->closeLogFile();
  }

  const platform::Environment& env_;
  const actions::ActionServices& actions_;
  const RunInput& in_;
  journal::Journal& journal_;
  // The registry values and Metabase rows the run writes are told to the
  // journal first; SQL scripts tell it themselves.
  journal::JournalingRegistry registry_;
  journal::JournalingDatabases databases_;
  const platform::Environment recording_;
  Steps steps_;
  ServicesGuard services_;  // last: it starts the services before the rest goes
};

}  // namespace

RunOutcome runInstallation(const platform::Environment& env, const actions::ActionServices& actions,
                           const RunInput& input, journal::Journal& journal) {
  return Run(env, actions, input, journal).carryOut();
}

}  // namespace qsi::control
