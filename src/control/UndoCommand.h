#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "control/Main.h"

namespace qsi::control {

// `qsolutioninstaller --undo [RUN]`: undoes the newest run of the site that
// changed it and is not undone, or the run named, once the site's lock is
// taken. Prints the undo's plan on `out` and, given `answers`, asks there
// before anything changes: one line, "y" undoes, anything else or the end of
// input declines (unattended, without `answers`, it proceeds). Then tells
// what was undone and what could not be. Returns the exit status: 0 undone,
// 1 undone in part or failed, 2 nothing to undo, declined or another
// installer holds the site.
// `report`, when given, gets the run chosen and the lock's holder.
struct UndoReport {
  std::optional<std::string> run;      // the run undone or refused; nullopt: nothing to undo
  std::string heldBy;                  // the other installer that holds the site
  std::vector<std::string> conflicts;  // what changed after the run, left as it is
  bool refused = false;                // refused before a run was chosen (the journal root)
};
int runUndoCommand(Services services, const std::optional<std::string>& run, std::ostream& out,
                   std::istream* answers, UndoReport* report = nullptr);

}  // namespace qsi::control
