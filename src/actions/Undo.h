#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/ActionServices.h"
#include "journal/Records.h"
#include "platform/Environment.h"

namespace qsi::actions {

inline constexpr std::string_view kUndoLog = "Undo";

// One step of an undo: the journal's record it undoes, what it does as the
// plan names it (empty: nothing shown, such as dropping a kept copy), and
// whether it is its target's first step, checked again just before it runs.
struct UndoStep {
  std::size_t record = 0;
  std::string text;
  bool checked = false;
};

// What an undo will do, found before anything changes.
struct UndoPlan {
  std::string run;
  std::vector<journal::Record> records;  // the journal's, in order
  std::vector<UndoStep> steps;           // newest record first
  // What no longer holds what the run left there, each with why: left as
  // it is, never overwritten.
  std::vector<std::string> conflicts;
  std::vector<std::string> notUndone;    // records that cannot be followed, and why
  std::vector<std::string> notReversed;  // the scripts that ran and the Metabase rows written
  std::vector<std::string> skipped;      // torn records: their changes never took effect
  bool startsServices = false;           // the run left the NT services stopped
};

// Reads the journal of the run `run` of the site and checks every record
// against the site, changing nothing: a file must hold the bytes the run
// left there (by its CRC-32C), a file it made or a folder it made must be
// there as it left them, a registry value must hold what the run wrote, a
// COM registration and an MTS package entry must be as the run left them.
// What is as it was before the run needs no step; what changed after the
// run is a conflict. Throws std::system_error when the journal cannot be read.
[[nodiscard]] UndoPlan planUndo(const platform::Environment& env, const ActionServices& services,
                                const std::filesystem::path& instMainDir, std::string_view run);

// The plan as the administrator reads it, laid out as the installation plan
// is, lines ended by CR LF; at most `maxSteps` steps are listed.
[[nodiscard]] std::string undoPlanText(const UndoPlan& plan, std::size_t maxSteps = SIZE_MAX);

// What an undo did.
struct UndoResult {
  std::size_t restored = 0;              // files put back from the journal
  std::size_t removed = 0;               // files and folders the run made, removed
  std::vector<std::string> conflicts;    // changed after the run: left as they are
  std::vector<std::string> notUndone;    // what could not be put back, and why
  std::vector<std::string> notReversed;  // the scripts that ran and the Metabase rows written
  [[nodiscard]] bool complete() const { return notUndone.empty() && conflicts.empty(); }
};

// Carries out `plan`, newest record first: every file the run replaced is put
// back from the journal; every file and empty folder it made is removed; the
// registry values, COM registrations and MTS package it changed are put
// back, and the keys of the installer's own record it made are removed when
// they hold nothing else; NT services it stopped and did not start again
// are started. A target found changed since the plan is a conflict, left as
// it is. The scripts that ran and the Metabase rows are listed, never
// reversed. Writes the log "Undo" (the plan, then what was done) into the
// run's own log folder (through `env`, whose run folder is the run's). Marks
// the run undone when nothing was left, undone in part otherwise: it then
// stands, and a later undo takes it up.
UndoResult undoRun(const platform::Environment& env, const ActionServices& services,
                   const std::filesystem::path& instMainDir, const UndoPlan& plan);

// What an undo did, as the administrator is told it.
[[nodiscard]] std::string undoSummary(std::string_view run, const UndoResult& result,
                                      const std::filesystem::path& log);

// The journal folder of a run of the site.
[[nodiscard]] std::filesystem::path journalFolder(const std::filesystem::path& instMainDir,
                                                  std::string_view run);

// Runs are ordered by the sequence number each run's state marker holds,
// never by folder names or dates; a journal of an earlier version, which has
// no marker, is older than every run that has one. Listing reads the markers
// only. A run whose folder, marker or journal is a symbolic link, is owned by
// another user or can be written by others is refused: neither listed nor
// undone; while the journal root itself is, no run is. Each folder is
// opened once, without following a link, and what lies in it read through
// it.

// Why the site's journal root, InstMainDir/QOJournal, may not be trusted,
// naming it (a link, another user's, writable by others); nothing when it
// may or is missing. While it is refused, no run is listed or undone.
[[nodiscard]] std::optional<std::string> journalRootRefusal(
    const std::filesystem::path& instMainDir);

// Makes the journal root when it is missing (`made` says so), closes it to
// others than its owner when it is a folder this user may change (an earlier
// version left it open to the group under a lenient umask), and tells why it
// is refused, as journalRootRefusal does: a run writes into it only when
// undo will trust it.
[[nodiscard]] std::optional<std::string> prepareJournalRoot(
    const std::filesystem::path& instMainDir, bool& made);

// The runs whose journals hold changes but neither an end, an undo, an undo
// in part nor a declined undo: runs that were killed. Newest first.
[[nodiscard]] std::vector<std::string> unfinishedRuns(const std::filesystem::path& instMainDir);

// The newest run with changes that is not undone: what --undo undoes when
// it names none.
[[nodiscard]] std::optional<std::string> lastRun(const std::filesystem::path& instMainDir);

// Why `run` may not be undone now, or nothing when it may: it was undone
// already, or later runs with changes stand, which are named newest first,
// to be undone before it. Undoing it again or before them would take away
// what they installed.
[[nodiscard]] std::optional<std::string> undoRefusal(const std::filesystem::path& instMainDir,
                                                     std::string_view run);

// The run folders that are refused, each named with why.
[[nodiscard]] std::vector<std::string> refusedRuns(const std::filesystem::path& instMainDir);

// Keeps the journals and saved files of the `keep` newest runs with changes
// and removes those of older runs that ended, were undone or kept, with the
// copies they kept beside the files they replaced (.qsi-kept); a run
// that did not finish is never pruned. A pruned run keeps its marker, which
// says so. Returns the pruned runs.
std::vector<std::string> pruneRuns(const std::filesystem::path& instMainDir, std::size_t keep);

}  // namespace qsi::actions
