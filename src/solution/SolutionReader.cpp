#include "solution/SolutionReader.h"

#include <exception>
#include <future>
#include <utility>

#include "platform/Failure.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "solution/ContentScan.h"
#include "solution/ModuleReader.h"
#include "solution/SqlList.h"
#include "version/Version.h"

namespace qsi::solution {

namespace fs = std::filesystem;
using platform::InfoBox;
using platform::kCrLf;
using platform::ProgressBox;

namespace {

struct Reader {
  const platform::Environment& env;
  const fs::path& descriptor;
  log::CLog& log;

  std::string read(const char* section, const char* key) const {
    return env.profiles.readIniValue(descriptor, section, key);
  }
  void append(const std::string& text) const { env.ui.append(InfoBox::Solution, text); }
};

void readDescriptor(const Reader& r, SolutionInfo& info) {
  r.log.writeSection("Retrieve the global solution info");
  info.productName = r.read("ReleaseInfo", "ProductName");
  r.log.writeLine("ProductName    : " + info.productName);
  r.append("ProductName    : " + info.productName + std::string(kCrLf));

  info.version = version::Version(r.read("ReleaseInfo", "Version"));
  r.log.writeLine("ProductVersion : " + info.version.text());
  r.append("ProductVersion : " + info.version.text() + std::string(kCrLf));

  info.solutionType = r.read("ReleaseInfo", "SolutionType");
  r.log.writeLine("Solution type  : " + info.solutionType);
  r.append("Solution type  : " + info.solutionType + std::string(kCrLf) + std::string(kCrLf));

  r.log.writeSection("Dependent on Q-Product Version");
  r.append("Pre-requisites" + std::string(kCrLf));
  info.dependencyProductName = r.read("Dependency", "ProductName");
  info.dependencyVersion = version::Version(r.read("Dependency", "Version"));
  const std::string dependencyLine =
      info.productName + " Version : " + info.dependencyVersion.text();
  r.log.writeLine(dependencyLine);
  r.append(dependencyLine + std::string(kCrLf));

  r.log.writeSection("Dependent on Q-Common version");
  info.commonVersion = version::Version(r.read("Dependency", "CommonVersion"));
  r.log.writeLine("Version : " + info.commonVersion.text());
  r.append("Q-Common Version : " + info.commonVersion.text() + std::string(kCrLf) +
           std::string(kCrLf));
}

// The most refused entries a message box lists; the log lists them all.
constexpr std::size_t kRefusedShown = 20;

// A package with an entry that could climb out of its folder, forge a line or
// lead elsewhere is refused whole, as a damaged archive is, before anything
// of it is read or installed.
void refuseDamagedPackage(const std::vector<RefusedEntry>& refused, log::CLog& log) {
  if (refused.empty()) return;
  log.writeSection("Refused package entries");
  std::string text = "The package is refused: " + std::to_string(refused.size()) +
                     (refused.size() == 1 ? " entry" : " entries") + " cannot be installed safely.";
  for (std::size_t i = 0; i < refused.size(); ++i) {
    const RefusedEntry& entry = refused[i];
    log.writeLine(entry.packagePath + ": " + entry.reason);
    if (i < kRefusedShown)
      text += std::string(kCrLf) + "  " + entry.packagePath + ": " + entry.reason;
  }
  if (refused.size() > kRefusedShown)
    text += std::string(kCrLf) + "  ... and " + std::to_string(refused.size() - kRefusedShown) +
            " more, listed in the log \"Gathering Solution Information\".";
  throw platform::Failure(platform::kReadFailure, "readSolutionInfo", text);
}

SolutionInfo readPackage(const platform::Environment& env, const SolutionFolders& folders,
                         log::CLog& log) {
  env.ui.setProgress(ProgressBox::Text, "Reading the solution information");
  env.ui.setProgress(ProgressBox::Detail, "");
  // Each INI file of the package is looked at once, however many values it gives.
  const platform::ProfileReader::Snapshot snapshot(env.profiles);
  log.openLogFile("Gathering Solution Information");
  // The walk runs beside the parse of FileVersion.txt, the package's largest
  // INI file: the two take about as long.
  std::future<PackageListing> walk = std::async(std::launch::async, [&folders] {
    return fs::is_directory(folders.solutionRoot) ? scanSolutionFolder(folders.solutionRoot)
                                                  : PackageListing{};
  });
  env.profiles.load(folders.fileVersions);
  PackageListing listing = walk.get();
  refuseDamagedPackage(listing.refused, log);

  const std::vector<std::string> moduleNames = readSolutionModuleNames(env, folders);
  log.writeSection("Check on availability of Solution.info file");
  const fs::path descriptor = folders.configurationFolder / "Solution.info";
  const std::string where = platform::displayPath(folders.configurationFolder, true);
  if (!fs::is_regular_file(descriptor)) {
    const std::string text = "Solution.info file not available at: " + where;
    log.writeLine(text);
    env.ui.messageBox({text});
    log.closeLogFile();
    return {};
  }
  log.writeLine("Solution.info file found available at: " + where);

  SolutionInfo info;
  readDescriptor(Reader{env, descriptor, log}, info);

  log.writeSection("Retrieve the solution info about modules");
  info.modules.reserve(moduleNames.size());
  for (const std::string& name : moduleNames)
    info.modules.push_back(readModuleInfo(env, folders, name, log));
  // A module whose version cannot be read would be skipped and recorded as
  // 0.0.0 while the run ends as if it had installed it.
  refuseDamagedPackage(unversionedModules(info.modules), log);

  info.files = readSolutionContent(env, folders, std::move(listing));
  info.sqlScripts = readSolutionSqlFiles(env, folders);
  info.hasFiles = !info.files.empty();
  info.hasSqlScripts = !info.sqlScripts.empty();
  for (const FileEntry& file : info.files)
    info.hasComponents = info.hasComponents || file.isCOMComponent || file.isMTSComponent;
  log.closeLogFile();
  return info;
}

}  // namespace

SolutionInfo readSolutionInfo(const platform::Environment& env, SolutionFolders& folders,
                              log::CLog& log) {
  folders = SolutionFolders::beside(env.installerFolder);
  return readSolutionInfoAt(env, folders, log);
}

SolutionInfo readSolutionInfoAt(const platform::Environment& env, const SolutionFolders& folders,
                                log::CLog& log) {
  try {
    return readPackage(env, folders, log);
  } catch (const std::exception& e) {
    platform::raiseReplacing(e, platform::kReadFailure, "readSolutionInfo",
                             "Error reading the solution info!");
  }
}

}  // namespace qsi::solution
