#include "e2e/EndToEnd.h"

#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "site/InstallerRecord.h"

namespace qsi::test {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSuiteKey = "SOFTWARE\\Corvane";

// The site's registry file in the machine's, in place of an earlier test's,
// when the file changed since it was loaded: runs in turn see what the last
// one left, as they do in the file.
void loadRegistry(const fs::path& file, std::string& loaded) {
  if (readText(file) == loaded) return;
  loaded = readText(file);
  platform::Win32Registry machine;
  machine.deleteKey(kSuiteKey);
  machine.deleteKey(site::kInstallerKey);
  for (const auto& key : platform::RegFileRegistry::parse(readText(file), file).keys) {
    const std::string path = key.path.substr(key.path.find('\\') + 1);  // below HKLM
    ASSERT_TRUE(machine.createKey(path)) << path;
    for (const auto& value : key.values)
      EXPECT_TRUE(!value.isText || machine.writeValue(path, value.name, value.data)) << path;
  }
}

ProcessResult runInstaller(const TestSite& site, std::string& loaded, const char* frontEnd,
                           const std::string& input,
                           const std::function<void(unsigned long)>& whileRunning,
                           const std::vector<std::string>& args) {
  loadRegistry(site.registryFile, loaded);
  return runProcess(site.installer / "qsolutioninstaller.exe", args,
                    {{"QSI_FRONTEND", frontEnd},
                     {"QSI_STUB_CALLS", (site.root / "ran").string()},
                     {"QSI_STUB_FAIL", "qosvc05.exe"}},
                    input, site.root, whileRunning);
}

}  // namespace

const bool EndToEnd::kServiceCommandsNoted = false;

// Wine's own net runs (it refuses /y); mtxstop is missing.
EndToEnd::EndToEnd() {
  fs::copy_file(QSI_INSTALLER_EXE, site.installer / "qsolutioninstaller.exe");
  fs::create_directories(site.installer / "bin");
  fs::copy_file(QSI_STUB_STOP_EXE, site.installer / "bin" / "stop.exe");
}

EndToEnd::~EndToEnd() {
  platform::Win32Registry().deleteKey(kSuiteKey);
  platform::Win32Registry().deleteKey(site::kInstallerKey);
}

ProcessResult EndToEnd::run(const std::string& input,
                            const std::function<void(unsigned long)>& whileRunning,
                            const std::vector<std::string>& args) const {
  ProcessResult result = runInstaller(site, loadedRegistry_, "console", input, whileRunning, args);
  // The console writes text: its lines end with CR LF here.
  for (std::string* text : {&result.out, &result.err})
    *text = platform::replaceAll(*text, "\r\n", "\n");
  return result;
}

ProcessResult EndToEnd::runWithWindows(const std::function<void(unsigned long)>& drive) const {
  return runInstaller(site, loadedRegistry_, "", "", drive, {});
}

std::optional<std::string> EndToEnd::registryValue(const std::string& key,
                                                   const std::string& name) const {
  return platform::Win32Registry().readValue(key, name);
}

bool EndToEnd::hasRegistryKey(const std::string& key) const {
  return platform::Win32Registry().subKeys(key).has_value();
}

fs::path EndToEnd::windowsFolder() const {
  return platform::windowsFolder();
}

}  // namespace qsi::test
