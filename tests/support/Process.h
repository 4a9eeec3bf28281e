#pragma once

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qsi::test {

struct ProcessResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs `program` with the environment changed by `env` (an empty value
// removes the variable); `whileRunning` gets its process id once it runs.
ProcessResult runProcess(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env, const std::string& input,
                         const std::filesystem::path& workDir,
                         const std::function<void(unsigned long)>& whileRunning = {});

// An environment variable set (or removed, when empty) for the object's life.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    set(name, value.empty() ? nullptr : value.c_str());
  }
  ~ScopedEnv() { set(name_, old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  static void set(const char* name, const char* value) {
#ifdef _WIN32
    (void)::_putenv_s(name, value != nullptr ? value : "");  // "" removes it
#else
    value != nullptr ? (void)::setenv(name, value, 1) : (void)::unsetenv(name);
#endif
  }
  const char* name_;
  std::optional<std::string> old_;
};

[[nodiscard]] std::filesystem::path currentProgram();

#ifndef _WIN32
void writeScript(const std::filesystem::path& file, const std::string& body);
#endif

}  // namespace qsi::test
