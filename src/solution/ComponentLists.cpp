#include "solution/ComponentLists.h"

#include "platform/Text.h"
#include "solution/ContentScan.h"

namespace qsi::solution {

namespace {

constexpr std::string_view kRegisterSection = "Components.Register";

std::string lastThree(std::string_view path) {
  return platform::toLower(path.substr(path.size() < 3 ? 0 : path.size() - 3));
}

// Characters that can be part of a component's file name in a list; any
// other character separates names.
bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.' || c == '$' || c == '~';
}

bool moduleListNames(platform::ProfileReader& profiles, const SolutionFolders& folders,
                     std::string_view installationPath, std::string_view key) {
  const std::string module = getModuleOfPath(installationPath);
  const std::string list =
      profiles.readIniValue(folders.configurationFolder / (module + ".ini"), kRegisterSection, key);
  return componentListNames(list, getFileName(installationPath));
}

}  // namespace

bool componentListNames(std::string_view list, std::string_view fileName) {
  if (fileName.empty()) return false;
  const std::string haystack = platform::toLower(list);
  const std::string needle = platform::toLower(fileName);
  for (auto hit = haystack.find(needle); hit != std::string::npos;
       hit = haystack.find(needle, hit + 1)) {
    const auto end = hit + needle.size();
    const bool startsName = hit == 0 || !isNameCharacter(haystack[hit - 1]);
    const bool endsName = end == haystack.size() || !isNameCharacter(haystack[end]);
    if (startsName && endsName) return true;
  }
  return false;
}

bool isMTSComponentFile(platform::ProfileReader& profiles, const SolutionFolders& folders,
                        std::string_view installationPath) {
  const std::string ending = lastThree(installationPath);
  if (ending != "dll" && ending != "ocx") return false;
  return moduleListNames(profiles, folders, installationPath, "MTSComponents");
}

bool isCOMComponentFile(platform::ProfileReader& profiles, const SolutionFolders& folders,
                        std::string_view installationPath) {
  if (lastThree(installationPath) != "dll") return false;
  return moduleListNames(profiles, folders, installationPath, "COMComponents");
}

std::string getLookupPath(std::string_view installationPath) {
  std::string path(installationPath);
  // These two components of Q-Alder ship in their own package folder.
  if (platform::contains(path, "Brake_Fern.dll") || platform::contains(path, "Bramble.dll"))
    path = platform::replaceAll(path, "QAlder", "Bramble");
  if (path.size() >= 4 && platform::toUpper(std::string_view(path).substr(0, 4)) == "QO11")
    path.replace(0, 4, "Web");
  return path;
}

ShippedChecksum getSolutionChecksum(platform::ProfileReader& profiles,
                                    const SolutionFolders& folders,
                                    std::string_view installationPath) {
  ShippedChecksum shipped{getLookupPath(installationPath), {}};
  std::string text = profiles.readIniValue(folders.fileVersions, shipped.lookupPath, "Checksum");
  if (!text.empty()) shipped.checksum = std::move(text);
  return shipped;
}

}  // namespace qsi::solution
