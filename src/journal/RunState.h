#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The state of a run in a few bytes, so that listing the site's runs at
// start-up reads no journal: InstMainDir/QOJournal/<run>/state holds
//
//   sequence=<n>\nchanges=<0|1>\nstatus=<open|ended|undone|kept|pruned|partial>\n
//
// and is replaced atomically whenever the run's state changes. The marker
// says "changes=1" before the first change's record can reach the journal,
// so a run killed at any instant is found unfinished.
//
// Runs are ordered by their sequence number, given out from the file
// "sequence" in the journal root while the run holds the site lock; never by
// folder names or clocks.
namespace qsi::journal {

// Partial: undone in part; the run stands, and a later undo takes it up.
enum class Status { Open, Ended, Undone, Kept, Pruned, Partial };

struct RunState {
  std::uint64_t sequence = 0;
  bool changes = false;
  Status status = Status::Open;
};

// The marker's text, and the state a marker's text holds. nullopt for text
// that is not exactly a marker: a hand-made one is not guessed at.
[[nodiscard]] std::string encodeState(const RunState& state);
[[nodiscard]] std::optional<RunState> parseState(std::string_view text);

// The marker's file in a run's folder.
[[nodiscard]] std::filesystem::path stateFileOf(const std::filesystem::path& folder);

// The state of the run in `folder`; nullopt when it has no marker or one
// that does not parse. Throws nothing.
[[nodiscard]] std::optional<RunState> readState(const std::filesystem::path& folder);
// Replaces the run's marker atomically. Throws std::system_error.
void writeState(const std::filesystem::path& folder, const RunState& state);
// Sets the status in the run's marker, keeping the rest of it.
void markStatus(const std::filesystem::path& folder, Status status);

// Takes the next sequence number of the runs below `journalRoot`, and keeps
// it there. The caller holds the site lock. A missing or unreadable counter
// starts again above every run's marker. Throws std::system_error, also
// when the counter or a marker holds 2^53 or more (no run reaches it; a
// hand-made one would wrap).
[[nodiscard]] std::uint64_t takeSequence(const std::filesystem::path& journalRoot);

}  // namespace qsi::journal
