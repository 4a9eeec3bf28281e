#include "control/Checks.h"

#include "platform/Failure.h"
#include "platform/Text.h"
#include "site/RegistryAccess.h"
#include "version/Version.h"

namespace qsi::control {

namespace {

const std::string kPleaseInstall = std::string(" is not installed yet,") +
                                   std::string(platform::kCrLf) +
                                   " please install this product first!";

[[noreturn]] void refuse(const platform::Environment& env, const std::string& text) {
  env.ui.messageBox({text});
  throw platform::EndProgram{platform::EndProgram::kStopped};
}

}  // namespace

bool checkProductVersion(const platform::Environment& env, const solution::SolutionInfo& info,
                         std::string& installedVersion) {
  installedVersion = site::getModuleAppVersion(env.registry, info.productName);
  if (version::compareVersions(installedVersion, info.version.text()) == version::kSecondSmaller) {
    env.ui.messageBox({info.productName + " is already up to date!"});
    throw AlreadyUpToDate{};
  }
  return true;
}

bool checkDependencyProduct(const platform::Environment& env, const solution::SolutionInfo& info) {
  if (!site::isModuleInstalled(env.registry, info.productName))
    refuse(env, info.dependencyProductName + kPleaseInstall);
  return true;
}

bool checkDependencyProductVersion(const platform::Environment& env,
                                   const solution::SolutionInfo& info,
                                   std::string& installedVersion) {
  installedVersion = site::getModuleAppVersion(env.registry, info.productName);
  const std::string& needed = info.dependencyVersion.text();
  if (version::compareVersions(needed, installedVersion) != version::kSecondSmaller) return true;
  env.ui.messageBox(
      {info.dependencyProductName + " " + info.dependencyVersion.text() + kPleaseInstall});
  return false;
}

bool checkDependencyCommonVersion(const platform::Environment& env,
                                  const solution::SolutionInfo& info,
                                  std::string& installedVersion) {
  installedVersion = site::getModuleAppVersion(env.registry, "Q-Common");
  if (version::compareVersions(info.commonVersion.text(), installedVersion) ==
      version::kSecondSmaller)
    refuse(env, "Q-Common version " + info.commonVersion.text() + kPleaseInstall);
  return true;
}

}  // namespace qsi::control
