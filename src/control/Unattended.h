#pragma once

#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "control/Main.h"
#include "platform/Json.h"

namespace qsi::control {

// Where the SA password comes from: never the command line or the
// environment.
struct PasswordSource {
  enum class Kind { none, standardInput, descriptor, file } kind = Kind::none;
  int descriptor = -1;
  std::filesystem::path file;
};

// The answers to the flow's questions, read from the answers file; each
// has its default but the unfinished run's.
struct Answers {
  std::optional<bool> undoUnfinishedRun;   // no default: the administrator decides
  std::optional<bool> undoOnFailure;       // default: undo (--on-failure wins)
  int loginRetries = 0;                    // a refused password is cancelled
  bool continueWithCustomizations = true;  // the customized files are saved first
};

// Reads an answers file: a JSON object of the keys above. Throws
// std::runtime_error naming the unknown key or the bad value.
[[nodiscard]] Answers readAnswers(const std::filesystem::path& file);

// What an unattended run was asked, and what its result names.
struct UnattendedRequest {
  RunSettings settings;
  std::optional<bool> undoOnFailure;  // --on-failure
  std::optional<std::filesystem::path> answersFile;
  std::optional<std::filesystem::path> resultFile;
  PasswordSource password;
  std::string program;  // the program's path, for the result and the undo command
  std::string version;  // the installer's version
  std::optional<std::string> registryFile;  // the site's registry file (Linux)
};

// The result document's fields known before a run, and its outcome.
struct ResultStart {
  std::chrono::system_clock::time_point started;
  std::string mode;  // install, plan or undo
  Part part = Part::all;
};

// A result that ends a run before it began: the options, the answers or the
// password source were refused (outcome refused, exit status 2).
[[nodiscard]] platform::Json refusalResult(const UnattendedRequest& request,
                                           const ResultStart& start, std::string_view stopReason,
                                           std::string_view description);

// Writes the result atomically (a temporary file renamed over `file`),
// readable by its owner only. A result that cannot be written is told on
// `err`, and the exit status stays the run's.
void writeResult(const std::filesystem::path& file, const platform::Json& result,
                 std::ostream& err);

// `qsolutioninstaller --unattended`: the whole flow with no window and no
// question: each question is answered by the answers file or its default;
// one that has neither ends the run with exit status 1 naming it. Tells on
// `out` what the boxes would show, writes the result when asked, and returns
// the exit status (0, 1, 2 or 3 as the window's flow would end).
int runUnattended(Services services, const UnattendedRequest& request, std::ostream& out);

// The undo command's result (mode undo) for its exit status and what it
// told; each conflict, left as it is, is an error of its own.
[[nodiscard]] platform::Json undoResult(const UnattendedRequest& request, const ResultStart& start,
                                        int exitStatus, const std::string& told,
                                        const std::optional<std::string>& run,
                                        const std::string& lockHolder,
                                        const std::vector<std::string>& conflicts = {},
                                        bool refused = false);

}  // namespace qsi::control
