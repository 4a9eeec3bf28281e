#include "log/CLog.h"

#include <iterator>
#include <system_error>

#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/Text.h"
#include "site/RootKey.h"

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
    fail("openLogFile", "Cannot create the log folder " + folder.string() + ": " + ec.message());
  if (isPrivate) platform::makePrivate(folder);
}

}  // namespace

fs::path CLog::runFolder(const platform::Environment& env) {
  const std::string instMainDir = site::getInstMainDir(env.registry);
  // An empty InstMainDir would put the logs at the file system's root.
  if (instMainDir.empty())
    fail("openLogFile",
         "The suite's installation folder (InstMainDir) is not set in the registry.");
  if (const auto problem = site::instMainDirProblem(instMainDir))
    fail("openLogFile", "The suite's installation folder cannot hold the logs: " + *problem + ".");
  return fs::path(instMainDir) / "QOLog" / env.stamp.runFolder;
}

fs::path CLog::logFilePath(const platform::Environment& env, std::string_view installSection) {
  return runFolder(env) / (std::string(installSection) + ".txt");
}

void CLog::openLogFile(std::string_view installSection) {
  const fs::path file = logFilePath(*env_, installSection);
  createOneLevel(file.parent_path().parent_path(), false);
  // Scripts are logged whole, and scripts may hold passwords.
  createOneLevel(file.parent_path(), true);
  reset();
  const bool exists = fs::exists(file);
  out_.open(file, std::ios::binary | (exists ? std::ios::app : std::ios::trunc));
  if (!out_) fail("openLogFile", "Cannot open the log file " + file.string());
  if (!exists)
    writeHeader("This logfile contains information about the installsection: " +
                std::string(installSection));
}

void CLog::openLogFileForReading(std::string_view installSection) {
  const fs::path file = logFilePath(*env_, installSection);
  reset();
  in_.open(file, std::ios::binary);
  if (!in_) fail("openLogFileForReading", "Cannot open the log file " + file.string());
}

void CLog::write(std::string_view bytes, std::string_view operation) {
  if (!out_.is_open()) fail(operation, "The log is not open.");
  // Names from outside may hold control characters: escaped, they can
  // neither forge a line of the log nor drive the terminal that shows it.
  const std::string text = platform::escapeControls(bytes, platform::LineEnds::Kept);
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out_) fail(operation, "Cannot write to the log file.");
  // An administrator reads what happened even after a crash, all but the
  // last moment of it.
  if (std::chrono::steady_clock::now() - flushed_ >= std::chrono::milliseconds(100)) flush();
}

void CLog::flush() {
  if (!out_.is_open()) return;
  out_.flush();
  flushed_ = std::chrono::steady_clock::now();
  if (!out_) fail("writeLine", "Cannot write to the log file.");
}

void CLog::writeHeader(std::string_view header) {
  if (!out_.is_open()) return;
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

std::string CLog::getText() {
  if (!in_.is_open()) fail("getText", "The log is not open for reading.");
  return {std::istreambuf_iterator<char>(in_), std::istreambuf_iterator<char>()};
}

void CLog::closeLogFile() {
  if (!isOpen()) fail("closeLogFile", "The log is not open.");
  reset();
}

void CLog::reset() {
  if (out_.is_open()) out_.close();
  if (in_.is_open()) in_.close();
}

}  // namespace qsi::log
