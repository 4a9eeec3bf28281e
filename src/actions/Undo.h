#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/ActionServices.h"
#include "platform/Environment.h"

namespace qsi::actions {

inline constexpr std::string_view kUndoLog = "Undo";

// What an undo did.
struct UndoResult {
  std::size_t restored = 0;              // files put back from the journal
  std::size_t removed = 0;               // files and folders the run made, removed
  std::vector<std::string> saved;        // changed after the run: saved before they were replaced
  std::vector<std::string> notUndone;    // what could not be put back, and why
  std::vector<std::string> notReversed;  // the scripts that ran and the Metabase rows written
  [[nodiscard]] bool complete() const { return notUndone.empty(); }
};

// Undoes the run `run` of the site, reading its journal backwards: every
// file it replaced is put back from the journal, checked against the
// checksum recorded for it; every file and empty folder it made is removed;
// the registry values, COM registrations and MTS package it changed are put
// back, and the keys of the installer's own record it made are removed when
// they hold nothing else; NT services it stopped and did not start again are started. A file
// that changed after the run is saved below `savedFolder` first, and named.
// The scripts that ran and the Metabase rows are listed, never reversed.
// Writes the log "Undo" into the run's own log folder (through `env`, whose
// run folder is the run's) and marks the journal undone. Throws
// std::system_error when the journal cannot be read.
UndoResult undoRun(const platform::Environment& env, const ActionServices& services,
                   const std::filesystem::path& instMainDir, std::string_view run,
                   const std::filesystem::path& savedFolder);

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

// The runs whose journals hold changes but neither an end, an undo nor a
// declined undo: runs that were killed. Newest first.
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
