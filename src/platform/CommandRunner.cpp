#include "platform/CommandRunner.h"

#include "platform/Text.h"

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;
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

#ifndef _WIN32

namespace {

// The spawn attributes and file actions, released however run() ends.
struct SpawnSetup {
  posix_spawn_file_actions_t actions{};
  bool ok = false;
  SpawnSetup() {
    ok = posix_spawn_file_actions_init(&actions) == 0;
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
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

int PosixCommandRunner::run(std::string_view commandText) {
  std::vector<std::string> words = splitCommandWords(commandText);
  if (words.empty() || words.front().empty()) return kCommandNotStarted;
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const SpawnSetup setup;
  if (!setup.ok) return kCommandNotStarted;
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &setup.actions, nullptr, argv.data(), environ) != 0)
    return kCommandNotStarted;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return kCommandNotStarted;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return kCommandNotStarted;
}

#endif

}  // namespace qsi::platform
