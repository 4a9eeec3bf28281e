#include "site/SiteInformation.h"

#include <cmath>
#include <exception>
#include <limits>
#include <optional>

#include "platform/Failure.h"
#include "platform/Interrupt.h"
#include "platform/OdbcConnection.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "site/RegistryAccess.h"
#include "site/RootKey.h"

namespace qsi::site {

using platform::Failure;
using platform::InfoBox;
using platform::ProgressBox;

namespace {

// The registry text as a 32-bit number; a fraction is rounded, as the
// conversion of the registry's text does. Throws Failure when it is no number.
std::int32_t toInt32(const std::string& text) {
  const std::string_view trimmed = platform::trim(text);
  std::size_t used = 0;
  double value = 0;
  try {
    value = std::stod(std::string(trimmed), &used);
  } catch (const std::exception&) {
    used = 0;
  }
  const double rounded = std::nearbyint(value);
  if (trimmed.empty() || used != trimmed.size() || !std::isfinite(value) ||
      rounded < std::numeric_limits<std::int32_t>::min() ||
      rounded > std::numeric_limits<std::int32_t>::max())
    throw Failure(platform::kReadFailure, "readSiteInfo",
                  "IISVirtId is not a number: \"" + text + "\"");
  return static_cast<std::int32_t>(rounded);
}

}  // namespace

SiteInfo readSiteInfo(const platform::Environment& env, log::CLog& log) {
  try {
    log.openLogFile("Gathering Current Site Information");
    SiteInfo site;
    site.modules = readInstalledModules(env, log);
    site.recorded = addRecordedModules(env, site.modules, log);
    site.iisVirtId = toInt32(getIISVirtId(env.registry));
    site.installDir = getInstallDir(env.registry);
    site.instMainDir = getInstMainDir(env.registry);
    // Every installed file, log and saved file is joined to it.
    if (const auto problem = instMainDirProblem(site.instMainDir))
      throw Failure(platform::kReadFailure, "readSiteInfo", *problem + ".");
    site.memScriptCode = getMemScriptCode(env.registry);
    site.available = true;
    log.closeLogFile();
    return site;
  } catch (const std::exception& e) {
    platform::raiseReplacing(e, platform::kReadFailure, "readSiteInfo",
                             "Could not read the Siteinformation.");
  }
}

std::vector<solution::ModuleInfo> readInstalledModules(const platform::Environment& env,
                                                       log::CLog& log) {
  env.ui.setProgress(ProgressBox::Text, "Reading the installed Modules");
  const std::vector<std::string> names = readSiteModuleNames(env);
  std::vector<solution::ModuleInfo> modules;
  if (names.empty()) return modules;
  modules.reserve(names.size());
  log.writeSection("Reading module info per module by reading the registry.");
  env.ui.append(InfoBox::Current, "Installed Modules" + std::string(platform::kCrLf));
  for (const std::string& name : names) modules.push_back(readSiteModuleInfo(env, name, log));
  return modules;
}

std::vector<std::string> readSiteModuleNames(const platform::Environment& env) {
  const auto names = enumRegistrySubKeys(env, kModulesKey);
  if (!names || names->front().empty())
    throw Failure(platform::kReadFailure, "readSiteModuleNames", "Modules info could not be found");
  // A module's name goes into logs, registry keys and Metabase rows.
  for (const std::string& name : *names)
    if (platform::hasControlCharacter(name))
      throw Failure(platform::kReadFailure, "readSiteModuleNames",
                    "The registry names an installed module \"" + platform::escapeControls(name) +
                        "\", which holds a control character.");
  return *names;
}

solution::ModuleInfo readSiteModuleInfo(const platform::Environment& env, const std::string& name,
                                        log::CLog& log) {
  try {
    env.ui.setProgress(ProgressBox::Text, "Reading the Modules information");
    solution::ModuleInfo module;
    module.name = name;
    module.version = version::Version(getModuleAppVersion(env.registry, name));
    log.writeLine(name + "\t\t" + module.version.text());
    env.ui.append(InfoBox::Current,
                  name + " : " + module.version.text() + std::string(platform::kCrLf));
    return module;
  } catch (const std::exception& e) {
    platform::raiseReplacing(e, platform::kReadFailure, "readSiteModuleInfo",
                             "Could not read the info on each module.");
  }
}

std::string getModuleVersion(std::string_view name,
                             const std::vector<solution::ModuleInfo>& modules) {
  std::string version;
  for (const solution::ModuleInfo& module : modules)
    if (module.name == name) version = module.version.text();
  return version;
}

}  // namespace qsi::site
