#include "control/UndoCommand.h"

#include <istream>
#include <ostream>
#include <set>

#include "actions/Undo.h"
#include "journal/Journal.h"
#include "log/CLog.h"
#include "platform/Failure.h"
#include "platform/Paths.h"
#include "platform/SiteLock.h"
#include "platform/Text.h"
#include "site/RootKey.h"

namespace qsi::control {

namespace fs = std::filesystem;

namespace {

// What an undo shows, printed: it asks nothing.
class PrintingUi final : public platform::UserInterface {
 public:
  explicit PrintingUi(std::ostream& out) : out_(out) {}
  void setProgress(platform::ProgressBox, std::string_view, bool) override {}
  void append(platform::InfoBox, std::string_view) override {}
  void setProgressCount(std::size_t, std::size_t) override {}
  platform::Answer messageBox(const platform::MessageBox& box) override {
    out_ << platform::escapeControls(platform::replaceAll(box.text, "\r\n", "\n"),
                                     platform::LineEnds::Kept)
         << '\n';
    return platform::unanswered(box.buttons);
  }
  void logCannotBeWritten(const fs::path& log, std::string_view why) override {
    if (told_.insert(log).second) UserInterface::logCannotBeWritten(log, why);  // once each
  }

 private:
  std::ostream& out_;
  std::set<fs::path> told_;
};

// Whether the administrator says yes: one line of at most a few
// characters, "y" or "Y" (a CR before its end is the console's); the end
// of input, or a longer line, is no.
bool answersYes(std::istream& in) {
  constexpr std::size_t kLongest = 16;
  std::string line;
  for (int c = in.get(); c != std::char_traits<char>::eof() && c != '\n'; c = in.get()) {
    if (line.size() == kLongest) return false;
    if (c != '\r') line.push_back(static_cast<char>(c));
  }
  const std::string_view answer = platform::trim(line);
  return answer == "y" || answer == "Y";
}

std::string lines(std::string_view text) {
  return platform::replaceAll(text, "\r\n", "\n");
}

}  // namespace

int runUndoCommand(Services services, const std::optional<std::string>& run, std::ostream& out,
                   std::istream* answers, UndoReport* report) {
  UndoReport ignored;
  UndoReport& told = report != nullptr ? *report : ignored;
  const std::string instMainDir = site::getInstMainDir(services.registry);
  if (const auto problem = site::instMainDirProblem(instMainDir)) {
    out << "Nothing can be undone: " << *problem << ".\n";
    return platform::EndProgram::kFailed;
  }
  const fs::path base(instMainDir);
  bool made = false;
  if (const auto refusal = actions::prepareJournalRoot(base, made)) {  // before a lock in it
    told.refused = true;
    out << *refusal << '\n';
    return platform::EndProgram::kStopped;
  }
  platform::RunStamp stamp = platform::makeRunStamp(services.clock.now());
  std::string heldBy;
  const auto lock = platform::SiteLock::take(
      base / "QOJournal" / "QOSolutionInstaller.lock",
      platform::SiteLock::describeThisProcess(stamp.installDateText), heldBy);
  if (!lock) {
    told.heldBy = heldBy;
    out << "Another installer is working on this site: " << platform::escapeControls(heldBy)
        << ".\n";
    return platform::EndProgram::kStopped;
  }
  const std::optional<std::string> chosen = run ? run : actions::lastRun(base);
  const auto none = [&] {
    out << (run ? "There is no run " + platform::escapeControls(*run) + " to undo.\n"
                : std::string("There is no run to undo.\n"));
    return platform::EndProgram::kStopped;
  };
  if (!chosen || platform::nameProblem(*chosen)) return none();
  told.run = *chosen;
  // Before its journal is read: a pruned run has none, a refused one is not read.
  if (const auto refusal = actions::undoRefusal(base, *chosen)) {
    out << *refusal << '\n';
    return platform::EndProgram::kStopped;
  }
  if (journal::Journal::read(actions::journalFolder(base, *chosen)).records.empty()) return none();
  stamp.runFolder = *chosen;  // the "Undo" log goes beside the run's own logs
  PrintingUi ui(out);
  const platform::Environment env{
      services.registry, services.profiles, ui, services.installerFolder, stamp, services.databases,
      services.files,    base / "QOLog"};
  try {
    const actions::UndoPlan plan = actions::planUndo(env, services.actions, base, *chosen);
    told.conflicts = plan.conflicts;
    out << lines(actions::undoPlanText(plan)) << '\n';
    if (answers != nullptr) {
      out << "Undo these changes? [y/n] " << std::flush;
      if (!answersYes(*answers)) {
        out << "\nThe undo is declined; nothing was changed.\n";
        return platform::EndProgram::kStopped;
      }
      out << '\n';
    }
    const actions::UndoResult result = actions::undoRun(env, services.actions, base, plan);
    told.conflicts = result.conflicts;
    out << lines(actions::undoSummary(*chosen, result,
                                      log::CLog::logFilePath(env, actions::kUndoLog)))
        << '\n';
    return result.complete() ? platform::EndProgram::kInstalled : platform::EndProgram::kFailed;
  } catch (const std::exception& e) {
    out << "The undo failed: " << e.what() << '\n';
    return platform::EndProgram::kFailed;
  }
}

}  // namespace qsi::control
