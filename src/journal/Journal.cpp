#include "journal/Journal.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <utility>

#include "journal/RunState.h"
#include "platform/Crc32.h"
#include "platform/FileIO.h"
#include "platform/SiteLock.h"

namespace qsi::journal {

namespace fs = std::filesystem;

namespace {

void appendFramed(std::string& out, const std::string& line) {
  char head[32];
  std::snprintf(head, sizeof head, "#%zu %08x ", line.size(),
                static_cast<unsigned>(platform::crc32c(line)));
  out += head;
  out += line;
  out.push_back('\n');
}

bool isLowerHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// The record a framed line holds, or nothing when its frame does not fit.
std::optional<std::string_view> unframe(std::string_view line) {
  if (line.empty() || line.front() != '#') return std::nullopt;
  std::size_t length = 0;
  const char* begin = line.data() + 1;
  const char* const end = line.data() + line.size();
  const auto [afterLength, ec] = std::from_chars(begin, end, length);
  if (ec != std::errc() || afterLength == begin || afterLength == end || *afterLength != ' ')
    return std::nullopt;
  const std::size_t crcAt = static_cast<std::size_t>(afterLength - line.data()) + 1;
  if (line.size() < crcAt + 9 || line[crcAt + 8] != ' ') return std::nullopt;
  for (std::size_t i = crcAt; i < crcAt + 8; ++i)
    if (!isLowerHex(line[i])) return std::nullopt;
  std::uint32_t crc = 0;
  (void)std::from_chars(line.data() + crcAt, line.data() + crcAt + 8, crc, 16);
  const std::string_view record = line.substr(crcAt + 9);
  if (record.size() != length || platform::crc32c(record) != crc) return std::nullopt;
  return record;
}

// Whether a frame that does not fit is the beginning of a whole one, as a
// kill or a full disk leaves it: cut inside its head, or its record shorter
// than its length.
bool cutShort(std::string_view line) {
  if (line.empty() || line.front() != '#') return false;
  std::size_t at = 1;
  while (at < line.size() && line[at] >= '0' && line[at] <= '9') ++at;
  if (at == line.size()) return true;
  std::size_t length = 0;
  if (std::from_chars(line.data() + 1, line.data() + at, length).ec != std::errc() ||
      line[at] != ' ')
    return false;
  const std::size_t crcAt = ++at;
  while (at < line.size() && at < crcAt + 8 && isLowerHex(line[at])) ++at;
  if (at == line.size()) return true;
  if (at != crcAt + 8 || line[at] != ' ') return false;
  return line.size() - at - 1 < length;
}

// Whether the file ends inside a line (a torn append): reads its last byte.
bool endsInsideLine(const fs::path& file) {
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in || in.tellg() <= 0) return false;
  in.seekg(-1, std::ios::end);
  char last = '\n';
  in.get(last);
  return last != '\n';
}

}  // namespace

Journal::Journal(fs::path folder, platform::WritableFiles& files)
    : folder_(std::move(folder)), files_(&files) {}

fs::path Journal::fileOf(const fs::path& folder) {
  return folder / "journal";
}

void Journal::open() {
  fs::create_directories(folder_ / "files");
  fs::create_directories(staging());
  torn_ = endsInsideLine(fileOf(folder_));
  file_ = files_->openAppending(fileOf(folder_));
  // Others than its owner may not write it, or undo would refuse it.
  std::error_code ec;
  fs::permissions(fileOf(folder_), fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove, ec);
}

void Journal::append(const Record& record) {
  if (isChange(record) && !changes_) {
    // Before the record can reach the file: a kill after it finds the run.
    // Without a marker (no begin) the journal itself tells its changes.
    if (auto state = readState(folder_)) {
      state->changes = true;
      writeState(folder_, *state);
    }
    changes_ = true;
  }
  appendFramed(pending_, encode(record));
}

void Journal::begin(const platform::RunStamp& stamp, std::uint64_t sequence) {
  fs::create_directories(folder_);
  if (sequence == 0) sequence = takeSequence(folder_.parent_path());
  writeState(folder_, RunState{sequence, false, Status::Open});
  append(Begin{stamp.runFolder, stamp.installDateText,
               platform::SiteLock::describeThisProcess(stamp.installDateText), sequence});
}

void Journal::write(const Record& record) {
  append(record);
  flush();
  if (std::holds_alternative<End>(record))
    markStatus(folder_, Status::Ended);
  else if (std::holds_alternative<Undone>(record))
    markStatus(folder_, Status::Undone);
  else if (std::holds_alternative<Kept>(record))
    markStatus(folder_, Status::Kept);
}

void Journal::flush() {
  if (pending_.empty() && !unsynced_) return;
  writeOut().sync();
  unsynced_ = false;
}

platform::AppendOnlyFile& Journal::writeOut() {
  if (!file_) open();
  if (pending_.empty()) return *file_;
  std::error_code ec;
  const auto size = fs::file_size(file_->path(), ec);
  try {
    file_->append(torn_ ? "\n" + pending_ : pending_);
  } catch (const std::system_error&) {
    // Part of the records may be written: cut back to the last whole one.
    std::error_code cut;
    if (!ec) fs::resize_file(file_->path(), size, cut);
    torn_ = torn_ || ec || cut;
    throw;
  }
  pending_.clear();
  torn_ = false;
  unsynced_ = true;  // written, not yet on disk: the next flush() syncs it
  return *file_;
}

fs::path Journal::nextBackup() {
  if (!file_) open();
  char name[16];
  std::snprintf(name, sizeof name, "%06zu", ++backups_);
  return folder_ / "files" / name;
}

Contents Journal::parse(std::string_view text) {
  Contents contents;
  contents.unframed = !text.empty() && text.front() != '#';
  std::size_t number = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const auto end = text.find('\n', pos);
    const std::string_view line = text.substr(pos, end == std::string_view::npos ? end : end - pos);
    ++number;
    pos = end == std::string_view::npos ? text.size() : end + 1;
    const std::string named = "record " + std::to_string(number);
    if (end == std::string_view::npos) {
      // Torn by a kill while it was appended.
      if (!contents.unframed) contents.torn.push_back(named + ": it is torn");
      break;
    }
    if (line.empty()) continue;
    const auto record = contents.unframed ? std::optional(line) : unframe(line);
    if (!record) {
      // Zeros where a power loss left blocks unwritten, a later append after them.
      if (line.find_first_not_of('\0') == std::string_view::npos)
        contents.torn.push_back(named + ": it was never written");
      else if (cutShort(line))
        contents.torn.push_back(named + ": it was cut short");
      else
        contents.altered.push_back(named + ": its frame does not fit its record, it was altered");
      continue;
    }
    Parsed parsed = journal::parse(*record);
    if (parsed.record)
      contents.records.push_back(std::move(*parsed.record));
    else
      contents.refused.push_back(named + ": " + parsed.refusal);
  }
  return contents;
}

Contents Journal::read(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_regular_file(fileOf(folder), ec)) return {};
  return parse(platform::readFileBytes(fileOf(folder)));
}

}  // namespace qsi::journal
