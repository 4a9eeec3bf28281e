#include "platform/CommandRunner.h"

#include <cstdlib>
#include <thread>

#include "platform/Failure.h"
#include "platform/Interrupt.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/TimeLimits.h"

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#endif

namespace qsi::platform {

std::vector<std::string> splitCommandWords(std::string_view commandText) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = 0; i < commandText.size(); ++i) {
    const char c = commandText[i];
    if (c == '"') {
      inWord = true;
      if (quoted && i + 1 < commandText.size() && commandText[i + 1] == '"') {
        word.push_back('"');
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word.push_back(c);
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::string quoteCommandWord(std::string_view word) {
  return "\"" + replaceAll(word, "\"", "\"\"") + "\"";
}

CommandResult notStarted(const std::error_code& error) {
  return {kCommandNotStarted, false, systemReason(error)};
}

std::chrono::milliseconds commandTimeLimit() {
  return timeLimit(kCommandTimeLimit).seconds;
}

std::optional<std::filesystem::path> programPath(std::string_view word) {
  namespace fs = std::filesystem;
  if (word.empty()) return std::nullopt;
  const fs::path given{std::string(word)};
  std::error_code ec;
#ifdef _WIN32
  if (word.find_first_of("\\/:") == std::string_view::npos) {
    fs::path program = systemFolder() / given;
    if (!program.has_extension()) program += ".exe";
    return fs::is_regular_file(program, ec) ? std::optional(program) : std::nullopt;
  }
#else
  if (word.find('/') == std::string_view::npos) {
    const char* path = std::getenv("PATH");
    for (const std::string& folder : split(path != nullptr ? path : "/usr/bin:/bin", ':')) {
      // An empty or relative entry would name the current folder.
      if (folder.empty() || folder.front() != '/') continue;
      const fs::path program = fs::path(folder) / given;
      if (fs::is_regular_file(program, ec) && ::access(program.c_str(), X_OK) == 0) return program;
    }
    return std::nullopt;
  }
#endif
  if (!given.is_absolute() || !fs::is_regular_file(given, ec)) return std::nullopt;
  return given;
}

#ifndef _WIN32

namespace {

// The spawn attributes and file actions, released however run() ends.
struct SpawnSetup {
  posix_spawn_file_actions_t actions{};
  posix_spawnattr_t attributes{};
  bool ok = false;
  SpawnSetup() {
    ok = posix_spawn_file_actions_init(&actions) == 0;
    // A group of its own, so that ending the command ends what it started;
    // our handlers of SIGINT and SIGTERM are not the command's.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    ok = ok && posix_spawnattr_init(&attributes) == 0 &&
         posix_spawnattr_setpgroup(&attributes, 0) == 0 &&
         posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
         posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF) == 0;
    for (int fd = 0; ok && fd <= 2; ++fd)
      ok = posix_spawn_file_actions_addopen(&actions, fd, "/dev/null",
                                            fd == 0 ? O_RDONLY : O_WRONLY, 0) == 0;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Log files and the registry's lock stay ours, even if a started program
    // outlives the run (a service started by "net start").
    if (ok) ok = posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0;
#endif
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Ends the command's process group: politely, then for sure.
void endGroup(pid_t pid) {
  ::kill(-pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(-pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

CommandResult PosixCommandRunner::run(std::string_view commandText) {
  std::vector<std::string> words = splitCommandWords(commandText);
  const auto program = words.empty() ? std::nullopt : programPath(words.front());
  if (!program) return notStarted(std::make_error_code(std::errc::no_such_file_or_directory));
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const SpawnSetup setup;
  if (!setup.ok) return notStarted(std::make_error_code(std::errc::not_enough_memory));
  pid_t pid = 0;
  if (const int error = posix_spawn(&pid, program->c_str(), &setup.actions, &setup.attributes,
                                    argv.data(), environ);
      error != 0)
    return notStarted({error, std::generic_category()});
  // Polled, so that the time limit and an interruption are seen: a short
  // command costs a millisecond, a long one a look every 20 ms.
  const auto deadline = std::chrono::steady_clock::now() + limit_;
  auto pause = std::chrono::microseconds(100);
  for (;;) {
    int status = 0;
    const pid_t ended = ::waitpid(pid, &status, WNOHANG);
    if (ended == pid) {
      if (WIFEXITED(status)) return {WEXITSTATUS(status), false, {}};
      if (WIFSIGNALED(status)) return {128 + WTERMSIG(status), false, {}};
      return {};
    }
    if (ended < 0 && errno != EINTR) return {};
    if (const int signal = interruptRequest(); signal != 0) {
      endGroup(pid);
      throw Interrupted(signal);
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      endGroup(pid);
      return {kCommandNotStarted, true, {}};
    }
    std::this_thread::sleep_for(pause);
    pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(20));
  }
}

#endif

}  // namespace qsi::platform
