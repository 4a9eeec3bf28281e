#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace qsi::platform {

// The exit code of a command whose program could not be started, as a shell
// reports it.
inline constexpr int kCommandNotStarted = 127;

// How a command ended.
struct CommandResult {
  // The program's exit code; kCommandNotStarted when it could not be
  // started; 128 plus the signal's number when a signal ended it.
  int exitCode = kCommandNotStarted;
  // It passed its time limit and was ended.
  bool timedOut = false;
  // Why the program could not be started, the system's reason ("No such
  // file or directory"); empty when it was.
  std::string notStarted;
  [[nodiscard]] bool succeeded() const { return !timedOut && exitCode == 0; }
};

// The result of a command whose program could not be started, for `error`.
[[nodiscard]] CommandResult notStarted(const std::error_code& error);

// The time a command may take (kCommandTimeLimit: QSI_COMMAND_TIMEOUT, else
// 10 minutes).
[[nodiscard]] std::chrono::milliseconds commandTimeLimit();

// Runs commands hidden and waits for them, as the installer's steps need.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  // Starts the command text's program with its words as arguments, without a
  // window and without a shell, and waits for its end, at most its time
  // limit: a command that passes it is ended (with what it started) and
  // counts as failed. Throws Interrupted, after ending the command, when the
  // run is interrupted while it waits.
  virtual CommandResult run(std::string_view commandText) = 0;
};

// The words of a command text: blanks separate words; a double quote starts
// or ends a quoted stretch in which blanks belong to the word; inside it two
// double quotes stand for one. Nothing else is special ($, `, \, ; ...).
[[nodiscard]] std::vector<std::string> splitCommandWords(std::string_view commandText);

// `word` quoted so that splitCommandWords gives it back as one word.
[[nodiscard]] std::string quoteCommandWord(std::string_view word);

// The full path of a command's program, so that no program beside the
// installer or in the current folder can stand in for it. A word with a
// folder part must be an absolute path. A bare name is taken from the system
// folder on Windows (".exe" added when it has no ending), and from the
// absolute folders of PATH elsewhere. nullopt when there is no such program.
[[nodiscard]] std::optional<std::filesystem::path> programPath(std::string_view word);

#ifndef _WIN32
// posix_spawn of the program's full path in a process group of its own,
// with standard input, output and error on /dev/null (the command has no
// window) and no other descriptor of ours inherited. Ending a command ends
// its group: SIGTERM, then SIGKILL.
class PosixCommandRunner final : public CommandRunner {
 public:
  explicit PosixCommandRunner(std::chrono::milliseconds limit = commandTimeLimit())
      : limit_(limit) {}
  CommandResult run(std::string_view commandText) override;

 private:
  std::chrono::milliseconds limit_;
};
using NativeCommandRunner = PosixCommandRunner;
#else
// CreateProcessA with the program's full path and the command text as the
// command line (no shell: Windows programs split their own command line), no
// window, and standard input, output and error on the NUL device; no other
// handle of ours is inherited. Ending a command terminates its process.
class Win32CommandRunner final : public CommandRunner {
 public:
  explicit Win32CommandRunner(std::chrono::milliseconds limit = commandTimeLimit())
      : limit_(limit) {}
  CommandResult run(std::string_view commandText) override;

 private:
  std::chrono::milliseconds limit_;
};
using NativeCommandRunner = Win32CommandRunner;
#endif

}  // namespace qsi::platform
