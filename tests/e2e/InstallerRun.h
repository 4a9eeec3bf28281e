#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "support/Process.h"
#include "support/TestSite.h"

namespace qsi::test {

// The built program copied beside the test's package, the registry it reads
// made from the site's registry file, and stand-ins for the service commands
// it runs, which note each call they get. Where the platform has the command
// itself (Windows' net), the program runs that one, and nothing is noted.
class InstallerRun {
 public:
  explicit InstallerRun(const TestSite& site);
  ~InstallerRun();
  InstallerRun(const InstallerRun&) = delete;
  InstallerRun& operator=(const InstallerRun&) = delete;

  // Runs the program through its console front-end with `input` as the
  // user's answers; the site's registry file is what it reads.
  // `whileRunning`, when given, gets the program's process id once it runs.
  [[nodiscard]] ProcessResult run(
      const std::string& input,
      const std::function<void(unsigned long processId)>& whileRunning = {},
      const std::vector<std::string>& args = {}) const;
#ifdef _WIN32
  // Runs the program with its window front-end; `drive` is the user, given
  // the program's process id while it runs.
  [[nodiscard]] ProcessResult runWithWindows(
      const std::function<void(unsigned long processId)>& drive) const;
#endif
  // A text value of the registry as the program left it; nullopt when missing.
  [[nodiscard]] std::optional<std::string> registryValue(const std::string& key,
                                                         const std::string& name) const;
  // The calls noted so far, one line each ("stop.exe qosvc01.exe").
  [[nodiscard]] std::string calls() const;
  // The Windows folder the program uses.
  [[nodiscard]] std::filesystem::path windowsFolder() const;
  // Whether net and mtxstop are stand-ins that note their calls.
  static const bool kServiceCommandsNoted;

 private:
  const TestSite& site_;
};

}  // namespace qsi::test
