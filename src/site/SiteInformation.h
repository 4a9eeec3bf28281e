#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "log/CLog.h"
#include "platform/Environment.h"
#include "site/InstallerRecord.h"
#include "solution/Records.h"

namespace qsi::site {

// The current installation, as the registry describes it. The members are
// the site fields of the old program in camelCase (InstMainDir is
// instMainDir, IISVirtId is iisVirtId), each read from the registry value of
// its old name.
struct SiteInfo {
  bool available = false;
  std::string installDir;
  std::string instMainDir;
  std::int32_t iisVirtId = 0;
  std::string memScriptCode;
  std::vector<solution::ModuleInfo> modules;  // installed modules, in the registry's order
  // The modules whose versions came from the installer's own record, the
  // suite's keys holding none; they are in modules too.
  std::vector<RecordedModule> recorded;
};

// Reads the site from the registry, shows the installed modules in txtCurrent
// (with the versions the installer recorded where the suite's keys have none)
// and logs them to "Gathering Current Site Information" through the site
// reader's own `log`. Every failure inside becomes Failure 1010
// "Could not read the Siteinformation.".
[[nodiscard]] SiteInfo readSiteInfo(const platform::Environment& env, log::CLog& log);

[[nodiscard]] std::vector<solution::ModuleInfo> readInstalledModules(
    const platform::Environment& env, log::CLog& log);
// The installed module names in the registry's order (the keyed collection).
[[nodiscard]] std::vector<std::string> readSiteModuleNames(const platform::Environment& env);
[[nodiscard]] solution::ModuleInfo readSiteModuleInfo(const platform::Environment& env,
                                                      const std::string& name, log::CLog& log);

// The version of the last module named exactly `name` in `modules`, or "".
[[nodiscard]] std::string getModuleVersion(std::string_view name,
                                           const std::vector<solution::ModuleInfo>& modules);

}  // namespace qsi::site
