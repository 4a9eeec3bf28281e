#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileIO.h"
#include "platform/OdbcConnection.h"
#include "platform/Registry.h"

// The write-ahead journal of a run, from which the run can be undone even
// after a kill: InstMainDir/QOJournal/<run>/journal holds one record per
// line, each appended and flushed to disk before the change it tells takes
// effect, and the old bytes of every file the run replaced are kept beside
// it, in files/, as second names of the old files.
namespace qsi::actions {

// The kinds of record, and their fields.
namespace record {
inline constexpr std::string_view kBegin = "begin";        // run, date, process
inline constexpr std::string_view kMkdir = "mkdir";        // folder
inline constexpr std::string_view kReplace = "replace";    // path, backup, size, crc, source
inline constexpr std::string_view kCreate = "create";      // path, source
inline constexpr std::string_view kPlaced = "placed";      // path, size, crc
inline constexpr std::string_view kRegistry = "registry";  // key, name, "1"/"0" (it was), old, new
inline constexpr std::string_view kRegistryKey = "registry-key";  // key: the run made it
inline constexpr std::string_view kCom = "com";  // dll, "register"/"unregister", "1"/"0" (it was)
inline constexpr std::string_view kMts = "mts";  // package, dll, "install"/"remove", DLLs before...
inline constexpr std::string_view kStopped = "services-stopped";
inline constexpr std::string_view kStarted = "services-started";
inline constexpr std::string_view kScript = "script";      // name, database
inline constexpr std::string_view kMetabase = "metabase";  // statement
inline constexpr std::string_view kEnd = "end";            // the run completed
inline constexpr std::string_view kUndone = "undone";      // date
inline constexpr std::string_view kKept = "kept";  // date: the administrator declined the undo
}  // namespace record

struct JournalRecord {
  std::string kind;
  std::vector<std::string> fields;
  [[nodiscard]] const std::string& field(std::size_t i) const;  // "" past the end
};

class Journal {
 public:
  // The journal of the run in `folder` (made when missing), written through
  // `files`; nothing is written before the first record.
  explicit Journal(std::filesystem::path folder,
                   platform::WritableFiles& files = platform::WritableFiles::machine());

  // Appends the run's first record: its folder, its date and the process
  // that runs it (what a later start names when it finds the run killed).
  void begin(const platform::RunStamp& stamp);
  // Appends a record; it is durable after the next flush().
  void append(std::string_view kind, std::vector<std::string> fields);
  // Appends a record and flushes it: the change it tells may take effect.
  void write(std::string_view kind, std::vector<std::string> fields);
  // Makes every record appended so far durable. Throws std::system_error.
  void flush();
  // Writes every record appended so far to the journal's file without
  // waiting for the disk: a kill of the process cannot lose them now, a
  // power cut can until the file is flushed, which the caller arranges (a
  // batch of files flushes it with its own). Throws std::system_error.
  platform::AppendOnlyFile& writeOut();

  // The path under which the journal keeps the next old file.
  [[nodiscard]] std::filesystem::path nextBackup();
  // The folder for the run's temporary files: on the journal's file system,
  // so that a killed run leaves none of them in the site.
  [[nodiscard]] std::filesystem::path staging() const { return folder_ / "tmp"; }
  [[nodiscard]] const std::filesystem::path& folder() const { return folder_; }
  // Whether a change was recorded.
  [[nodiscard]] bool hasChanges() const { return changes_; }

  // The records of the journal in `folder`, in order; a last line torn by a
  // kill is dropped. Empty when there is no journal.
  [[nodiscard]] static std::vector<JournalRecord> read(const std::filesystem::path& folder);
  // The journal's file in a run's folder.
  [[nodiscard]] static std::filesystem::path fileOf(const std::filesystem::path& folder);

 private:
  void open();

  std::filesystem::path folder_;
  platform::WritableFiles* files_;
  std::unique_ptr<platform::AppendOnlyFile> file_;
  std::string pending_;
  bool unsynced_ = false;  // written out since the last flush()
  std::size_t backups_ = 0;
  bool changes_ = false;
};

// The registry as a run writes it: each value's old text, and each key the
// run makes (every missing level, from the top), is told to the journal
// before the registry changes.
class JournalingRegistry final : public platform::RegistryWrapper {
 public:
  JournalingRegistry(platform::Registry& inner, Journal& journal)
      : RegistryWrapper(inner), journal_(journal) {}
  bool writeValue(std::string_view key, std::string_view name, std::string_view text) override;
  bool createKey(std::string_view key) override;

 private:
  Journal& journal_;
};

// Databases as a run writes the Metabase: each statement sent on a
// connection to the Metabase is told to the journal (an undo cannot reverse
// it, but names it); the records are written 64 at a time and flushed with
// the journal's next flush, so a kill may lose the names of the last few.
class JournalingDatabases final : public platform::Databases {
 public:
  JournalingDatabases(platform::Databases& inner, Journal& journal)
      : inner_(inner), journal_(journal) {}
  [[nodiscard]] std::unique_ptr<platform::DatabaseConnection> connection() override;

 private:
  platform::Databases& inner_;
  Journal& journal_;
};

}  // namespace qsi::actions
