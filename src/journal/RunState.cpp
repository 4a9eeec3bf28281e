#include "journal/RunState.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>

#include "platform/FileIO.h"
#include "platform/Paths.h"

namespace qsi::journal {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 6> kStatusNames = {"open", "ended",  "undone",
                                                          "kept", "pruned", "partial"};

// A whole decimal number without sign, leading zeros or trailing text.
std::optional<std::uint64_t> strictNumber(std::string_view text) {
  std::uint64_t value = 0;
  if (text.empty() || (text.size() > 1 && text.front() == '0')) return std::nullopt;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The value of the line "key=value" starting at `pos`, which moves past it.
std::optional<std::string_view> field(std::string_view text, std::size_t& pos,
                                      std::string_view key) {
  const auto end = text.find('\n', pos);
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view line = text.substr(pos, end - pos);
  pos = end + 1;
  if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=')
    return std::nullopt;
  return line.substr(key.size() + 1);
}

void removeOthersWrite(const fs::path& path) {
  std::error_code ec;
  fs::permissions(path, fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove,
                  ec);
}

}  // namespace

std::string encodeState(const RunState& state) {
  return "sequence=" + std::to_string(state.sequence) + "\nchanges=" + (state.changes ? "1" : "0") +
         "\nstatus=" + std::string(kStatusNames[static_cast<std::size_t>(state.status)]) + "\n";
}

std::optional<RunState> parseState(std::string_view text) {
  std::size_t pos = 0;
  const auto sequence = field(text, pos, "sequence");
  const auto changes = field(text, pos, "changes");
  const auto status = field(text, pos, "status");
  if (!sequence || !changes || !status || pos != text.size()) return std::nullopt;
  RunState state;
  const auto number = strictNumber(*sequence);
  if (!number || *number == 0 || (*changes != "0" && *changes != "1")) return std::nullopt;
  state.sequence = *number;
  state.changes = *changes == "1";
  const auto named = std::find(kStatusNames.begin(), kStatusNames.end(), *status);
  if (named == kStatusNames.end()) return std::nullopt;
  state.status = static_cast<Status>(named - kStatusNames.begin());
  return state;
}

fs::path stateFileOf(const fs::path& folder) {
  return folder / "state";
}

std::optional<RunState> readState(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(stateFileOf(folder), ec))) return std::nullopt;
  try {
    return parseState(platform::readFileBytes(stateFileOf(folder)));
  } catch (const std::system_error&) {
    return std::nullopt;
  }
}

void writeState(const fs::path& folder, const RunState& state) {
  fs::create_directories(folder);
  removeOthersWrite(folder);
  platform::writeFileAtomically(stateFileOf(folder), encodeState(state));
  removeOthersWrite(stateFileOf(folder));
}

void markStatus(const fs::path& folder, Status status) {
  RunState state = readState(folder).value_or(RunState{});
  state.status = status;
  writeState(folder, state);
}

std::uint64_t takeSequence(const fs::path& journalRoot) {
  const fs::path counter = journalRoot / "sequence";
  std::uint64_t last = 0;
  try {
    std::string text = platform::readFileBytes(counter);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    last = strictNumber(text).value_or(0);
  } catch (const std::system_error&) {
  }
  // A lost counter must not give out a number a standing run holds.
  std::error_code ec;
  for (const auto& item : fs::directory_iterator(journalRoot, ec))
    if (const auto state = readState(item.path())) last = std::max(last, state->sequence);
  // A hand-made counter near the top would wrap to 0, a number no marker
  // holds, and the run could not be undone: the run is refused before it
  // changes anything.
  constexpr std::uint64_t kHighest = std::uint64_t{1} << 53;
  if (last >= kHighest)
    throw std::system_error(std::make_error_code(std::errc::value_too_large),
                            "the run counter " + platform::displayPath(counter) +
                                " or a run's marker holds a number no run was given");
  const std::uint64_t next = last + 1;
  platform::writeFileAtomically(counter, std::to_string(next) + "\n");
  return next;
}

}  // namespace qsi::journal
