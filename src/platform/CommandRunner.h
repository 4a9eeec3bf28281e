#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qsi::platform {

// The exit code of a command whose program could not be started, as a shell
// reports it.
inline constexpr int kCommandNotStarted = 127;

// Runs commands hidden and waits for them, as the installer's steps need.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  // Starts the command text's program with its words as arguments, without a
  // window and without a shell, waits for its end and returns its exit code;
  // kCommandNotStarted when the program cannot be started.
  virtual int run(std::string_view commandText) = 0;
};

// The words of a command text: blanks separate words; a double quote starts
// or ends a quoted stretch in which blanks belong to the word; inside it two
// double quotes stand for one. Nothing else is special ($, `, \, ; ...).
[[nodiscard]] std::vector<std::string> splitCommandWords(std::string_view commandText);

// `word` quoted so that splitCommandWords gives it back as one word.
[[nodiscard]] std::string quoteCommandWord(std::string_view word);

#ifndef _WIN32
// posix_spawnp with standard input, output and error on /dev/null (the
// command has no window) and no other descriptor of ours inherited. A program
// killed by a signal gives 128 plus the signal's number.
class PosixCommandRunner final : public CommandRunner {
 public:
  int run(std::string_view commandText) override;
};
using NativeCommandRunner = PosixCommandRunner;
#else
// CreateProcessA with the command text as the command line (no shell:
// Windows programs split their own command line), no window and standard
// input, output and error on the NUL device; no other handle of ours is
// inherited.
class Win32CommandRunner final : public CommandRunner {
 public:
  int run(std::string_view commandText) override;
};
using NativeCommandRunner = Win32CommandRunner;
#endif

}  // namespace qsi::platform
