#include "e2e/EndToEnd.h"

namespace qsi::test {

namespace fs = std::filesystem;

const bool EndToEnd::kServiceCommandsNoted = true;

// Scripts stand in for net, mtxstop and the stop program (failing for qosvc05.exe).
EndToEnd::EndToEnd() {
  fs::copy_file(QSI_INSTALLER_EXE, site.installer / "qsolutioninstaller");
  const std::string record = "echo \"$(basename \"$0\") $*\" >> " + (site.root / "ran").string();
  writeScript(site.root / "commands" / "net", record + "\nexit 0");
  writeScript(site.root / "commands" / "mtxstop", record + "\nexit 0");
  writeScript(site.installer / "bin" / "stop.exe", record + "\n[ \"$1\" != qosvc05.exe ]");
}

EndToEnd::~EndToEnd() = default;

ProcessResult EndToEnd::run(const std::string& input,
                            const std::function<void(unsigned long)>& whileRunning,
                            const std::vector<std::string>& args) const {
  return runProcess(site.installer / "qsolutioninstaller", args,
                    {{"QSI_FRONTEND", "console"},
                     {"QSI_REGISTRY", site.registryFile.string()},
                     {"WINDIR", windowsFolder().string()},
                     {"PATH", (site.root / "commands").string() + ":/usr/bin:/bin"}},
                    input, site.root, whileRunning);
}

std::optional<std::string> EndToEnd::registryValue(const std::string& key,
                                                   const std::string& name) const {
  return platform::RegFileRegistry(site.registryFile).readValue(key, name);
}

bool EndToEnd::hasRegistryKey(const std::string& key) const {
  return platform::RegFileRegistry(site.registryFile).subKeys(key).has_value();
}

fs::path EndToEnd::windowsFolder() const {
  return site.root / "windows";
}

}  // namespace qsi::test
