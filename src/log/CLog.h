#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Environment.h"
#include "platform/FileIO.h"

namespace qsi::log {

// One log file of the run, named by its install section, in the run's folder
// below the environment's log root (InstMainDir/QOLog/<InstallDateAndTimeFormat>/
// on a site). Lines end with CR LF. A new
// file starts with a header; opening an existing one appends. Written
// through the environment's files (platform::filesOf).
class CLog {
 public:
  explicit CLog(const platform::Environment& env) : env_(&env) {}
  // Lines not yet written go to the file, quietly: the window that would be
  // told may be going too.
  ~CLog();
  CLog(CLog&&) = default;
  CLog& operator=(CLog&&) = default;

  // Creates the log and run folders (one level each) and the file with its
  // header, or opens the existing file for appending. Throws Failure when
  // the environment has no log root or a folder or the file cannot be made,
  // with the system's reason.
  void openLogFile(std::string_view installSection);

  // Lines are written in batches: a log is flushed at the latest 100 ms
  // after a line, by flush(), and when it is closed. A kill loses at most
  // the lines since; the journal, not the log, is what an undo trusts. A
  // batch that cannot be written (a full disk) is lost, and told to the user
  // interface with the system's reason; later lines are tried again, and the
  // step goes on.
  void writeHeader(std::string_view header);  // nothing when closed
  void writeSection(std::string_view caption);
  void writeLine(std::string_view line);
  void closeLogFile();  // throws Failure when not open
  // Puts the lines written so far into the file: before an outside command
  // runs, and before a batch of changes to the site.
  void flush();

  [[nodiscard]] bool isOpen() const { return out_ != nullptr; }

  // The run's log folder and the file of a section, for the closing message and tests.
  [[nodiscard]] static std::filesystem::path runFolder(const platform::Environment& env);
  [[nodiscard]] static std::filesystem::path logFilePath(const platform::Environment& env,
                                                         std::string_view installSection);

 private:
  void write(std::string_view bytes, std::string_view operation);
  void writePending(bool tell);
  void reset();

  const platform::Environment* env_;
  std::chrono::steady_clock::time_point flushed_{};
  std::unique_ptr<platform::AppendOnlyFile> out_;
  std::string pending_;  // lines written, not yet in the file
};

// The whole text of a log of the run, as written so far. Throws Failure when
// it cannot be read, with the system's reason, in the source the box has
// always named, "openLogFileForReading".
[[nodiscard]] std::string readLogFile(const platform::Environment& env,
                                      std::string_view installSection);

inline constexpr std::string_view kAsteriskLine =
    "****************************************************************************************";

}  // namespace qsi::log
