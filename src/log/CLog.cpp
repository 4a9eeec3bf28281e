#include "log/CLog.h"

#include <system_error>

#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace qsi::log {

namespace fs = std::filesystem;
using platform::Failure;
using platform::kCrLf;

namespace {

[[noreturn]] void fail(std::string_view operation, const std::string& description) {
  throw Failure(platform::kLogFailure, std::string(operation), description);
}

void createOneLevel(const fs::path& folder, bool isPrivate) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return;
  fs::create_directory(folder, ec);
  if (ec)
    fail("openLogFile", platform::withReason("Cannot create the log folder " + folder.string(),
                                             platform::systemReason(ec)));
  if (isPrivate) platform::makePrivate(folder);
}

}  // namespace

fs::path CLog::runFolder(const platform::Environment& env) {
  if (env.logRoot.empty()) fail("openLogFile", "The run has no folder for its logs.");
  return env.logRoot / env.stamp.runFolder;
}

fs::path CLog::logFilePath(const platform::Environment& env, std::string_view installSection) {
  return runFolder(env) / (std::string(installSection) + ".txt");
}

CLog::~CLog() {
  writePending(false);
}

void CLog::openLogFile(std::string_view installSection) {
  const fs::path file = logFilePath(*env_, installSection);
  createOneLevel(file.parent_path().parent_path(), false);
  // Scripts are logged whole, and scripts may hold passwords.
  createOneLevel(file.parent_path(), true);
  reset();
  const bool exists = fs::exists(file);
  try {
    // The group reads it too, as the run's folder lets it.
    out_ = platform::filesOf(*env_).openAppending(
        file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
  } catch (const std::exception& e) {
    fail("openLogFile",
         platform::withReason("Cannot open the log file " + file.string(), platform::reasonOf(e)));
  }
  if (!exists)
    writeHeader("This logfile contains information about the installsection: " +
                std::string(installSection));
}

std::string readLogFile(const platform::Environment& env, std::string_view installSection) {
  const fs::path file = CLog::logFilePath(env, installSection);
  try {
    return platform::readFileBytes(file);
  } catch (const std::exception& e) {
    fail("openLogFileForReading",
         platform::withReason("Cannot open the log file " + file.string(), platform::reasonOf(e)));
  }
}

void CLog::write(std::string_view bytes, std::string_view operation) {
  if (!out_) fail(operation, "The log is not open.");
  // Names from outside may hold control characters: escaped, they can
  // neither forge a line of the log nor drive the terminal that shows it.
  pending_ += platform::escapeControls(bytes, platform::LineEnds::Kept);
  // An administrator reads what happened even after a crash, all but the
  // last moment of it.
  if (std::chrono::steady_clock::now() - flushed_ >= std::chrono::milliseconds(100)) flush();
}

void CLog::flush() {
  writePending(true);
}

void CLog::writePending(bool tell) {
  flushed_ = std::chrono::steady_clock::now();
  if (!out_ || pending_.empty()) return;
  try {
    out_->append(pending_);
  } catch (const std::exception& e) {
    // A record, not the work: its lines are lost, but the step goes on,
    // and the disk may have room for the next ones.
    if (tell)
      env_->ui.logCannotBeWritten(
          out_->path(),
          platform::withReason(platform::displayPath(out_->path()), platform::reasonOf(e)));
  }
  pending_.clear();
}

void CLog::writeHeader(std::string_view header) {
  if (!out_) return;
  std::string text;
  text.append(kAsteriskLine).append(kCrLf).append(header).append(kCrLf);
  text.append(kAsteriskLine).append(kCrLf).append(kCrLf);
  write(text, "writeHeader");
}

void CLog::writeSection(std::string_view caption) {
  std::string text(kCrLf);
  text.append("* ").append(caption).append(" *").append(kCrLf).append(kCrLf);
  write(text, "writeSection");
}

void CLog::writeLine(std::string_view line) {
  std::string text("  ");
  text.append(line).append(kCrLf);
  write(text, "writeLine");
}

void CLog::closeLogFile() {
  if (!isOpen()) fail("closeLogFile", "The log is not open.");
  flush();
  reset();
}

void CLog::reset() {
  writePending(false);
  out_.reset();
}

}  // namespace qsi::log
