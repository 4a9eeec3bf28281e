#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace qsi::platform {

// A failure as the installer reports it: a number, the procedure that raised it
// and a description meant for the administrator. Its what() is the
// description, then ": " and the cause when there is one, so that every text
// made of it ends with what went wrong underneath.
class Failure : public std::runtime_error {
 public:
  Failure(long number, std::string source, std::string description, std::string cause = {})
      : std::runtime_error(cause.empty() ? description : description + ": " + cause),
        number_(number),
        source_(std::move(source)),
        description_(std::move(description)),
        cause_(std::move(cause)) {}

  [[nodiscard]] long number() const noexcept { return number_; }
  [[nodiscard]] const std::string& source() const noexcept { return source_; }
  [[nodiscard]] const std::string& description() const noexcept { return description_; }
  // What went wrong underneath, when an outer procedure replaced an inner
  // failure by its own; shown to the administrator beside the description.
  [[nodiscard]] const std::string& cause() const noexcept { return cause_; }

 private:
  long number_;
  std::string source_;
  std::string description_;
  std::string cause_;
};

// A platform service the machine does not have at all (no transaction
// server, no commerce server administration object): what needs it is
// passed over, and is no failure of the installation.
class ServiceUnavailable : public Failure {
 public:
  using Failure::Failure;
};

// The mark of a failure that no step may pass over, because what follows
// would meet it again (a database that stopped answering) or must not run
// (the run was told to end): the run leaves on its way out for failures.
class EndsTheRun {
 public:
  virtual ~EndsTheRun() = default;
};

// In a handler of a step that passes over failures: rethrows the failure in
// hand when it ends the run.
void rethrowIfRunEnding(const std::exception& failure);

// Replaces whatever failed inside `source` by its own failure, keeping what
// went wrong underneath as the cause. A failure that ends the run is
// rethrown as it is: it reaches the top with its own words.
[[noreturn]] void raiseReplacing(const std::exception& inner, long number, std::string source,
                                 std::string description);

// The system's reason for an error code, as the administrator reads it:
// strerror's text, or on Windows the system's message text (FormatMessage)
// without its closing period and line break.
[[nodiscard]] std::string systemReason(const std::error_code& code);

// Why `e` happened, to be told after a failure's text: the system's reason
// for a system error, a failure's cause or description, else its text.
[[nodiscard]] std::string reasonOf(const std::exception& e);

// `text`, then ": " and `reason` when there is one: how every failure message
// ends with its reason ("Error while Copying the file to: X: No space left on
// device").
[[nodiscard]] std::string withReason(std::string text, std::string_view reason);

// Failure numbers of our own, for conditions the installer did not know on
// its original platform.
inline constexpr long kReadFailure = 1010;
inline constexpr long kFileCopyFailure = 210;
inline constexpr long kRegistryStoreFailure = 1020;
inline constexpr long kLogFailure = 1030;
// An exception that no procedure turned into a failure of its own.
inline constexpr long kUnexpectedFailure = 1060;

// The program ends: every window closes and the process exits with `exitStatus`.
// Thrown after the user was told why, by a refusal before the run; the flow
// that met it gives the program's end to the front-end as a value.
struct EndProgram {
  static constexpr int kInstalled = 0;
  static constexpr int kFailed = 1;
  static constexpr int kStopped = 2;
  // The installation ran to its end, but files or registrations failed.
  static constexpr int kCompletedWithFailures = 3;
  int exitStatus = kStopped;
};

}  // namespace qsi::platform
