#include "e2e/InstallerRun.h"

#include <gtest/gtest.h>

#include "platform/Paths.h"
#include "platform/RegFileRegistry.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace qsi::test {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSuiteKey = "SOFTWARE\\Corvane";

// The site's registry file, written into the machine's registry in place of
// whatever an earlier test left there.
void loadRegistry(const fs::path& file) {
  platform::Win32Registry machine;
  machine.deleteKey(kSuiteKey);
  const auto content = platform::RegFileRegistry::parse(readText(file), file);
  constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE\\";
  for (const auto& key : content.keys) {
    if (!key.path.starts_with(kRoot)) continue;
    const std::string path = key.path.substr(kRoot.size());
    ASSERT_TRUE(machine.createKey(path)) << path;
    for (const auto& value : key.values) {
      if (value.isText) {
        ASSERT_TRUE(machine.writeValue(path, value.name, value.data)) << path;
      }
    }
  }
}

}  // namespace

const bool InstallerRun::kServiceCommandsNoted = false;

// Wine's own net runs (it refuses /y); mtxstop is missing; a small program
// stands in for the suite's stop program, noting its calls in the file that
// QSI_STUB_CALLS names and failing for the argument QSI_STUB_FAIL names.
InstallerRun::InstallerRun(const TestSite& site) : site_(site) {
  fs::copy_file(QSI_INSTALLER_EXE, site.installer / "qsolutioninstaller.exe");
  fs::create_directories(site.installer / "bin");
  fs::copy_file(QSI_STUB_STOP_EXE, site.installer / "bin" / "stop.exe");
}

InstallerRun::~InstallerRun() {
  platform::Win32Registry().deleteKey(kSuiteKey);
}

ProcessResult InstallerRun::run(const std::string& input,
                                const std::function<void(unsigned long)>& whileRunning,
                                const std::vector<std::string>& args) const {
  loadRegistry(site_.registryFile);
  ProcessResult result = runProcess(site_.installer / "qsolutioninstaller.exe", args,
                                    {{"QSI_FRONTEND", "console"},
                                     {"QSI_STUB_CALLS", (site_.root / "ran").string()},
                                     {"QSI_STUB_FAIL", "qosvc05.exe"}},
                                    input, site_.root, whileRunning);
  // The console writes text: its lines end with CR LF here.
  result.out = platform::replaceAll(result.out, "\r\n", "\n");
  result.err = platform::replaceAll(result.err, "\r\n", "\n");
  return result;
}

ProcessResult InstallerRun::runWithWindows(
    const std::function<void(unsigned long processId)>& drive) const {
  loadRegistry(site_.registryFile);
  return runProcess(site_.installer / "qsolutioninstaller.exe", {},
                    {{"QSI_FRONTEND", ""},
                     {"QSI_STUB_CALLS", (site_.root / "ran").string()},
                     {"QSI_STUB_FAIL", "qosvc05.exe"}},
                    "", site_.root, drive);
}

std::optional<std::string> InstallerRun::registryValue(const std::string& key,
                                                       const std::string& name) const {
  return platform::Win32Registry().readValue(key, name);
}

std::string InstallerRun::calls() const {
  return fs::exists(site_.root / "ran") ? readText(site_.root / "ran") : "";
}

std::filesystem::path InstallerRun::windowsFolder() const {
  return platform::windowsFolder();
}

}  // namespace qsi::test
