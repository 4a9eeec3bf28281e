#include "actions/Journal.h"

#include <cstdio>
#include <system_error>
#include <utility>

#include "platform/FileIO.h"
#include "platform/SiteLock.h"

namespace qsi::actions {

namespace fs = std::filesystem;

namespace {

// Fields are separated by tabs; a field's tabs, line ends and backslashes
// are escaped, so that any path or statement is one field of one line.
void appendEscaped(std::string& out, std::string_view field) {
  for (const char c : field) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out.push_back(c);
    }
  }
}

std::vector<std::string> splitFields(std::string_view line) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      const char next = line[++i];
      fields.back().push_back(next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next);
    } else {
      fields.back().push_back(c);
    }
  }
  return fields;
}

}  // namespace

const std::string& JournalRecord::field(std::size_t i) const {
  static const std::string none;
  return i < fields.size() ? fields[i] : none;
}

Journal::Journal(fs::path folder, platform::WritableFiles& files)
    : folder_(std::move(folder)), files_(&files) {}

fs::path Journal::fileOf(const fs::path& folder) {
  return folder / "journal";
}

void Journal::open() {
  fs::create_directories(folder_ / "files");
  fs::create_directories(staging());
  file_ = files_->openAppending(fileOf(folder_));
}

void Journal::append(std::string_view kind, std::vector<std::string> fields) {
  if (kind != record::kEnd) changes_ = true;
  appendEscaped(pending_, kind);
  for (const std::string& field : fields) {
    pending_.push_back('\t');
    appendEscaped(pending_, field);
  }
  pending_.push_back('\n');
}

void Journal::begin(const platform::RunStamp& stamp) {
  append(record::kBegin, {stamp.runFolder, stamp.installDateText,
                          platform::SiteLock::describeThisProcess(stamp.installDateText)});
}

void Journal::write(std::string_view kind, std::vector<std::string> fields) {
  append(kind, std::move(fields));
  flush();
}

void Journal::flush() {
  if (pending_.empty() && !unsynced_) return;
  writeOut().sync();
  unsynced_ = false;
}

platform::AppendOnlyFile& Journal::writeOut() {
  if (!file_) open();
  if (!pending_.empty()) {
    file_->append(pending_);
    pending_.clear();
    unsynced_ = true;  // written, not yet on disk: the next flush() syncs it
  }
  return *file_;
}

fs::path Journal::nextBackup() {
  if (!file_) open();
  char name[16];
  std::snprintf(name, sizeof name, "%06zu", ++backups_);
  return folder_ / "files" / name;
}

std::vector<JournalRecord> Journal::read(const fs::path& folder) {
  std::vector<JournalRecord> records;
  std::error_code ec;
  if (!fs::is_regular_file(fileOf(folder), ec)) return records;
  const std::string text = platform::readFileBytes(fileOf(folder));
  std::size_t pos = 0;
  for (auto end = text.find('\n'); end != std::string::npos; end = text.find('\n', pos)) {
    std::vector<std::string> fields = splitFields(std::string_view(text).substr(pos, end - pos));
    JournalRecord& entry = records.emplace_back();
    entry.kind = std::move(fields.front());
    entry.fields.assign(std::make_move_iterator(fields.begin() + 1),
                        std::make_move_iterator(fields.end()));
    pos = end + 1;
  }
  return records;  // what follows the last line end was torn by a kill
}

bool JournalingRegistry::writeValue(std::string_view key, std::string_view name,
                                    std::string_view text) {
  const auto old = readValue(key, name);
  if (old == text) return RegistryWrapper::writeValue(key, name, text);  // nothing changes
  journal_.write(record::kRegistry, {std::string(key), std::string(name), old ? "1" : "0",
                                     old.value_or(""), std::string(text)});
  return RegistryWrapper::writeValue(key, name, text);
}

bool JournalingRegistry::createKey(std::string_view key) {
  // Every level the key lacks, from the top: undo removes them deepest first.
  std::vector<std::string> made;
  for (auto at = key.find('\\');; at = key.find('\\', at + 1)) {
    const std::string_view level = key.substr(0, at);
    if (!made.empty() || !subKeys(level)) made.emplace_back(level);
    if (at == std::string_view::npos) break;
  }
  for (std::string& level : made) journal_.append(record::kRegistryKey, {std::move(level)});
  if (!made.empty()) journal_.flush();
  return RegistryWrapper::createKey(key);
}

namespace {

// Owns the connection it wraps, which the base forwards to.
class JournalingConnection final : public platform::ConnectionWrapper {
 public:
  JournalingConnection(std::unique_ptr<platform::DatabaseConnection> inner, Journal& journal)
      : ConnectionWrapper(*inner), owned_(std::move(inner)), journal_(journal) {}
  void execute(std::string_view statement) override {
    // The record names a statement that undo cannot reverse; it need not be
    // on disk before the statement runs, so records go out in groups, and
    // are flushed with the journal's next flush: a flush per statement
    // would cost more than the statements themselves.
    journal_.append(record::kMetabase, {std::string(statement)});
    if (++unwritten_ == kGroup) {
      (void)journal_.writeOut();
      unwritten_ = 0;
    }
    inner_.execute(statement);
  }

 private:
  static constexpr int kGroup = 64;
  std::unique_ptr<platform::DatabaseConnection> owned_;
  Journal& journal_;
  int unwritten_ = 0;
};

}  // namespace

std::unique_ptr<platform::DatabaseConnection> JournalingDatabases::connection() {
  return std::make_unique<JournalingConnection>(inner_.connection(), journal_);
}

}  // namespace qsi::actions
