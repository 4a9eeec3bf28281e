#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "journal/Records.h"
#include "platform/Clock.h"
#include "platform/FileIO.h"

// The write-ahead journal of a run, from which the run can be undone even
// after a kill: InstMainDir/QOJournal/<run>/journal holds one framed record
// per line, each appended and flushed to disk before the change it tells
// takes effect, and the old bytes of every file the run replaced are kept
// beside it, in files/, as second names of the old files.
//
// A frame is "#<length> <crc> <record>\n": the record's length in bytes, in
// decimal, and its CRC-32C in eight lower-case hexadecimal digits. A record
// that a kill or a full disk tore, or that was altered, fails its frame and
// is skipped alone: every append starts on a line of its own, so the next
// record is never read as part of it. A torn frame is the beginning of a
// whole one (its record shorter than its length, or its head cut); any
// other frame that fails was altered after it was written.
namespace qsi::journal {

// What a journal holds: its records in order, and the lines that are none,
// each named by its record (line) number and why.
struct Contents {
  std::vector<Record> records;
  // Torn frames: a change they tell never took effect, as it waits for its
  // record on disk.
  std::vector<std::string> torn;
  // Whole frames whose checksum does not fit: what they told may have taken
  // effect, and is not known.
  std::vector<std::string> altered;
  // Whole frames that hold no record the installer writes: forged.
  std::vector<std::string> refused;
  // Whether the journal was written before records were framed: its lines
  // are read strictly, without a checksum.
  bool unframed = false;
};

class Journal {
 public:
  // The journal of the run in `folder` (made when missing), written through
  // `files`; nothing is written before the first record.
  explicit Journal(std::filesystem::path folder,
                   platform::WritableFiles& files = platform::WritableFiles::machine());

  // Appends the run's first record: its folder, its date, the process that
  // runs it and its sequence number among the site's runs (0: the next one
  // the journal root gives out; the caller holds the site lock). Writes the
  // run's state marker first.
  void begin(const platform::RunStamp& stamp, std::uint64_t sequence = 0);
  // Appends a record; it is durable after the next flush().
  void append(const Record& record);
  // Appends a record and flushes it: the change it tells may take effect.
  void write(const Record& record);
  // Makes every record appended so far durable. Throws std::system_error.
  void flush();
  // Writes every record appended so far to the journal's file without
  // waiting for the disk: a kill of the process cannot lose them now, a
  // power cut can until the file is flushed, which the caller arranges (a
  // batch of files flushes it with its own). An append that fails is cut
  // back to the last whole record before it throws std::system_error.
  platform::AppendOnlyFile& writeOut();

  // The path under which the journal keeps the next old file.
  [[nodiscard]] std::filesystem::path nextBackup();
  // The folder for the run's temporary files: on the journal's file system,
  // so that a killed run leaves none of them in the site.
  [[nodiscard]] std::filesystem::path staging() const { return folder_ / "tmp"; }
  [[nodiscard]] const std::filesystem::path& folder() const { return folder_; }
  // Whether a change was recorded.
  [[nodiscard]] bool hasChanges() const { return changes_; }

  // The records of the journal in `folder`. Empty when there is none.
  // Throws std::system_error when it cannot be read.
  [[nodiscard]] static Contents read(const std::filesystem::path& folder);
  // The records framed in `text`, a journal's bytes.
  [[nodiscard]] static Contents parse(std::string_view text);
  // The journal's file in a run's folder.
  [[nodiscard]] static std::filesystem::path fileOf(const std::filesystem::path& folder);

 private:
  void open();

  std::filesystem::path folder_;
  platform::WritableFiles* files_;
  std::unique_ptr<platform::AppendOnlyFile> file_;
  std::string pending_;
  bool unsynced_ = false;  // written out since the last flush()
  bool torn_ = false;      // the file ends inside a line: the next append starts a new one
  std::size_t backups_ = 0;
  bool changes_ = false;
};

}  // namespace qsi::journal
