#pragma once

#include <string_view>

#include "log/CLog.h"
#include "platform/Environment.h"

namespace qsi::actions {

// The log of an installation action. A log that cannot be opened or written
// loses its lines but never stops the action: services are stopped and
// started and files installed all the same. It is told once, with the
// system's reason (UserInterface::logCannotBeWritten). Closed at the latest
// when the object goes.
class StepLog {
 public:
  StepLog(const platform::Environment& env, std::string_view installSection);
  ~StepLog() { close(); }
  StepLog(const StepLog&) = delete;
  StepLog& operator=(const StepLog&) = delete;

  void writeSection(std::string_view caption) noexcept;
  void writeLine(std::string_view line) noexcept;
  void flush() noexcept;
  void close() noexcept;

 private:
  log::CLog log_;
};

}  // namespace qsi::actions
