#include "e2e/InstallerRun.h"

#include "platform/RegFileRegistry.h"

namespace qsi::test {

namespace fs = std::filesystem;

const bool InstallerRun::kServiceCommandsNoted = true;

// Shell scripts stand in for net and mtxstop (on a PATH of their own) and
// for the suite's stop program, which fails for qosvc05.exe.
InstallerRun::InstallerRun(const TestSite& site) : site_(site) {
  fs::copy_file(QSI_INSTALLER_EXE, site.installer / "qsolutioninstaller");
  const std::string record = "echo \"$(basename \"$0\") $*\" >> " + (site.root / "ran").string();
  writeScript(site.root / "commands" / "net", record + "\nexit 0");
  writeScript(site.root / "commands" / "mtxstop", record + "\nexit 0");
  writeScript(site.installer / "bin" / "stop.exe", record + "\n[ \"$1\" != qosvc05.exe ]");
}

InstallerRun::~InstallerRun() = default;

ProcessResult InstallerRun::run(const std::string& input,
                                const std::function<void(unsigned long)>& whileRunning,
                                const std::vector<std::string>& args) const {
  return runProcess(site_.installer / "qsolutioninstaller", args,
                    {{"QSI_FRONTEND", "console"},
                     {"QSI_REGISTRY", site_.registryFile.string()},
                     {"WINDIR", (site_.root / "windows").string()},
                     {"PATH", (site_.root / "commands").string() + ":/usr/bin:/bin"}},
                    input, site_.root, whileRunning);
}

std::optional<std::string> InstallerRun::registryValue(const std::string& key,
                                                       const std::string& name) const {
  return platform::RegFileRegistry(site_.registryFile).readValue(key, name);
}

std::string InstallerRun::calls() const {
  return fs::exists(site_.root / "ran") ? readText(site_.root / "ran") : "";
}

std::filesystem::path InstallerRun::windowsFolder() const {
  return site_.root / "windows";
}

}  // namespace qsi::test
