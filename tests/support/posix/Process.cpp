#include "support/Process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <list>

#include "platform/FileIO.h"

extern char** environ;

namespace qsi::test {

namespace fs = std::filesystem;

ProcessResult runProcess(const fs::path& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env, const std::string& input,
                         const fs::path& workDir,
                         const std::function<void(unsigned long)>& whileRunning) {
  const fs::path in = workDir / ".stdin", out = workDir / ".stdout", err = workDir / ".stderr";
  platform::writeFileAtomically(in, input);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  std::vector<std::string> argv{program.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  pid_t pid = 0;
  int rc = 0;
  {
    // The programs' ODBC drivers leak where no suppression can name them: the
    // sanitizer run may ask for other options there.
    std::optional<ScopedEnv> asan;
    if (const char* child = std::getenv("QSI_CHILD_ASAN_OPTIONS"))
      asan.emplace("ASAN_OPTIONS", child);
    std::list<ScopedEnv> changed;
    for (const auto& [name, value] : env) changed.emplace_back(name.c_str(), value);
    rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, pointers.data(), environ);
  }
  posix_spawn_file_actions_destroy(&actions);
  ProcessResult result;
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << program;
    return result;
  }
  if (whileRunning) whileRunning(static_cast<unsigned long>(pid));
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = platform::readFileBytes(out);
  result.err = platform::readFileBytes(err);
  return result;
}

fs::path currentProgram() {
  return fs::read_symlink("/proc/self/exe");
}

void writeScript(const fs::path& file, const std::string& body) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::trunc) << "#!/bin/sh\n" << body << '\n';
  fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

}  // namespace qsi::test
