#include "control/FileSelection.h"

#include "log/CLog.h"
#include "version/Version.h"

namespace qsi::control {

void determineWhatToInstall(const platform::Environment& env, solution::SolutionInfo& solution,
                            const site::SiteInfo& site) {
  log::CLog log(env);
  log.openLogFile("FilesToBeInstalled");
  for (solution::FileEntry& entry : solution.files) {
    const std::string newVersion = site::getModuleVersion(entry.module, solution.modules);
    const std::string installed = site::getModuleVersion(entry.module, site.modules);
    entry.install = version::compareVersions(installed, newVersion) == version::kSecondGreater;
    if (entry.install)
      log.writeLine("Install : " + entry.path);
    else
      log.writeLine("Skip : " + entry.path + " -> Original ver: " + installed +
                    " - New Ver : " + newVersion);
  }
  log.closeLogFile();
}

}  // namespace qsi::control
