#include "actions/StepLog.h"

#include <exception>
#include <filesystem>

#include "platform/Failure.h"

namespace qsi::actions {

namespace {
template <typename Step>
void passOver(Step&& step) noexcept {
  try {
    step();
  } catch (const std::exception&) {
    // A log is a record, not part of the work: its failures stop nothing.
  }
}
}  // namespace

StepLog::StepLog(const platform::Environment& env, std::string_view installSection) : log_(env) {
  try {
    log_.openLogFile(installSection);
  } catch (const std::exception& e) {
    // Told, with its reason; the step runs all the same.
    std::filesystem::path file(std::string(installSection) + ".txt");
    passOver([&] { file = log::CLog::logFilePath(env, installSection); });
    env.ui.logCannotBeWritten(file, platform::reasonOf(e));
  }
}

void StepLog::writeSection(std::string_view caption) noexcept {
  if (log_.isOpen()) passOver([&] { log_.writeSection(caption); });
}

void StepLog::writeLine(std::string_view line) noexcept {
  if (log_.isOpen()) passOver([&] { log_.writeLine(line); });
}

void StepLog::flush() noexcept {
  if (log_.isOpen()) passOver([&] { log_.flush(); });
}

void StepLog::close() noexcept {
  if (log_.isOpen()) passOver([&] { log_.closeLogFile(); });
}

}  // namespace qsi::actions
