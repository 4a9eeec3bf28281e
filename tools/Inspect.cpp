#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "checksum/Checksum.h"
#include "metabase/SqlScripts.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/Unicode.h"
#include "solution/ComponentLists.h"
#include "solution/ContentScan.h"
#include "tools/Commands.h"
#include "tools/PackageAccess.h"

namespace qsi::tools {

namespace fs = std::filesystem;
using solution::FileEntry;
using solution::ModuleInfo;

namespace {

constexpr const char* kInspectHelp =
    "usage: qsolution inspect [DIR]\n"
    "Shows the solution package DIR (default ./Solution) as the installer reads it:\n"
    "the descriptor, the modules, every content file with its installation path,\n"
    "module, component kinds and shipped checksum, and the SQL scripts in run order.\n"
    "Warns where the package contradicts itself.\n"
    "Exit status: 0 no warning, 1 warnings, 2 the package cannot be read.\n";

struct Warning {
  std::string file;  // package path, "\" separated
  std::string reason;
};

std::string databases(const ModuleInfo& module) {
  std::string text;
  for (const solution::ModuleDatabase& database : module.databases) {
    if (database.name.empty()) continue;
    if (!text.empty()) text += ", ";
    text += database.name + " (user " + (database.user.empty() ? "none" : database.user) + ")";
  }
  return text;
}

std::string kinds(const FileEntry& file) {
  if (file.isCOMComponent && file.isMTSComponent) return "COM and MTS component, ";
  if (file.isCOMComponent) return "COM component, ";
  if (file.isMTSComponent) return "MTS component, ";
  return "";
}

void printPackage(const Package& package, std::ostream& out) {
  const solution::SolutionInfo& info = package.info;
  out << "Package   " << platform::displayPath(package.folders.solutionRoot) << '\n'
      << "Product   " << info.productName << ' ' << info.version.text() << " (" << info.solutionType
      << ")\n"
      << "Requires  " << info.dependencyProductName << ' ' << info.dependencyVersion.text()
      << ", Q-Common " << info.commonVersion.text() << "\n\n";

  out << "Modules (" << info.modules.size() << ")\n";
  for (const ModuleInfo& module : info.modules)
    out << "  " << module.name << ' ' << module.version.text()
        << "  databases: " << databases(module) << '\n';

  out << "\nContent files (" << info.files.size() << ")\n";
  for (const FileEntry& file : info.files)
    out << "  " << file.path << "\n      module " << file.module << ", " << kinds(file)
        << "shipped checksum " << file.solutionChecksum.value_or("(none)") << ", from "
        << file.packagePath << '\n';

  out << "\nSQL scripts in run order (" << info.sqlScripts.size() << ")\n";
  for (std::size_t i = 0; i < info.sqlScripts.size(); ++i)
    out << "  " << i + 1 << ". " << info.sqlScripts[i].path << '\n';
}

void checkDescriptor(const Package& package, std::vector<Warning>& warnings) {
  if (package.info.productName.empty())
    warnings.push_back(
        {"configuration files\\Solution.info",
         "no ProductName in section ReleaseInfo; the installer refuses the package"});
}

void checkChecksums(const Package& package, std::vector<Warning>& warnings) {
  for (const FileEntry& file : package.info.files) {
    const std::string section = solution::getLookupPath(file.path);
    if (!file.solutionChecksum) {
      warnings.push_back(
          {file.packagePath, "no Checksum in section [" + section + "] of FileVersion.txt"});
      continue;
    }
    // The installer checks a library's bytes too, unless the package marks it "0".
    if (checksum::isLibraryPath(file.packagePath) &&
        *file.solutionChecksum == checksum::kNoChecksum)
      continue;
    const std::string own =
        checksum::checksumOfBytes(checksum::fingerprintOf(packageFile(package, file.packagePath)));
    if (own != *file.solutionChecksum)
      warnings.push_back({file.packagePath, "shipped checksum " + *file.solutionChecksum +
                                                " (section [" + section +
                                                "] of FileVersion.txt) differs from the file's "
                                                "checksum " +
                                                own});
  }
}

// The database a listed script's first line names, when it is no bare data
// source name.
void checkScriptHeader(const fs::path& script, const std::string& name,
                       std::vector<Warning>& warnings) {
  const std::string text = platform::readFileBytes(script);
  std::string_view firstLine(text);
  firstLine = firstLine.substr(0, firstLine.find('\n'));
  if (firstLine.ends_with('\r')) firstLine.remove_suffix(1);
  if (firstLine.starts_with("\xEF\xBB\xBF")) firstLine.remove_prefix(3);
  const auto database = metabase::databaseNameOf(firstLine);
  if (!database) {
    warnings.push_back({"Sql\\" + name, "the first line names no database (USE <name>)"});
  } else if (const auto problem = metabase::dataSourceNameProblem(*database)) {
    warnings.push_back({"Sql\\" + name, "the first line names \"" +
                                            platform::escapeControls(*database) +
                                            "\", which is no data source name (" + *problem +
                                            "); the installer runs nothing of it"});
  }
}

void checkScripts(const Package& package, std::vector<Warning>& warnings) {
  const fs::path& sqlFolder = package.folders.sqlFolder;
  std::set<std::string> listed;
  for (std::size_t i = 0; i < package.info.sqlScripts.size(); ++i) {
    const std::string& name = package.info.sqlScripts[i].path;
    const std::string line = std::to_string(i + 1);
    listed.insert(name);
    const auto problem = platform::nameProblem(name);
    if (name.empty())
      warnings.push_back({"Sql\\Sequence.txt", "line " + line + " names no script"});
    else if (problem)
      warnings.push_back({"Sql\\Sequence.txt", "line " + line + " (\"" +
                                                   platform::escapeControls(name) +
                                                   "\"): " + *problem +
                                                   "; the installer runs only scripts named by "
                                                   "their file name in Sql"});
    else if (fs::is_regular_file(sqlFolder / name))
      checkScriptHeader(sqlFolder / name, name, warnings);
    else
      warnings.push_back(
          {"Sql\\" + name,
           "listed in Sequence.txt (line " + line + ") but does not exist" +
               (platform::trim(name) != name ? " (the name has blanks at an end)" : "")});
  }
  if (!fs::is_directory(sqlFolder)) return;
  std::vector<std::string> unlisted;
  for (const fs::directory_entry& item : fs::recursive_directory_iterator(sqlFolder)) {
    if (!item.is_regular_file() || !platform::iequals(item.path().extension().string(), ".sql"))
      continue;
    const std::string name = platform::toDataPath(item.path().lexically_relative(sqlFolder));
    if (!listed.contains(name)) unlisted.push_back(name);
  }
  std::sort(unlisted.begin(), unlisted.end());
  for (const std::string& name : unlisted)
    warnings.push_back({"Sql\\" + name, "not listed in Sequence.txt; the installer never runs it"});
}

// Two entries installed at one path: the later one wins, and a customized
// file is saved once, before the first.
void checkInstallationPaths(const Package& package, std::vector<Warning>& warnings) {
  std::map<std::string, std::string> first;
  for (const FileEntry& file : package.info.files) {
    const auto [it, isNew] = first.try_emplace(file.path, file.packagePath);
    if (!isNew)
      warnings.push_back({file.packagePath, "installed at " + file.path + " as " + it->second +
                                                " is; the one listed later wins"});
  }
}

// Windows holds one entry for names equal but for letter case: the
// installer installs content files onto the first one's path.
void checkLetterCase(const solution::PackageListing& listing, std::vector<Warning>& warnings) {
  std::map<std::string, std::string> first;
  for (const solution::PackageEntry& entry : listing.entries) {
    const auto [it, isNew] =
        first.try_emplace(platform::toLower(entry.packagePath), entry.packagePath);
    if (!isNew)
      warnings.push_back({entry.packagePath, "differs from " + it->second +
                                                 " in letter case only; Windows holds one of "
                                                 "the two"});
  }
}

// Definition files other readers may read otherwise than the installer.
void checkIniEncodings(const Package& package, std::vector<Warning>& warnings) {
  std::vector<std::string> names = {"Solution.info", "FileVersion.txt"};
  for (const ModuleInfo& module : package.info.modules) names.push_back(module.name + ".ini");
  for (const std::string& name : names) {
    std::string start(3, '\0');
    std::ifstream(package.folders.configurationFolder / name, std::ios::binary)
        .read(start.data(), 3);
    const platform::TextEncoding encoding = platform::encodingOf(start);
    if (encoding == platform::TextEncoding::Utf8WithMark)
      warnings.push_back({"configuration files\\" + name,
                          "starts with a UTF-8 byte-order mark, which the installer reads past "
                          "and ANSI readers take for text of the first line"});
    else if (encoding != platform::TextEncoding::Bytes)
      warnings.push_back({"configuration files\\" + name,
                          "is UTF-16 text, which the installer reads and ANSI readers do not; "
                          "save it as ANSI or UTF-8"});
  }
}

#ifndef _WIN32
// Modes the installer never carries over, which the author may rely on.
void checkModes(const Package& package, const solution::PackageListing& listing,
                std::vector<Warning>& warnings) {
  for (const solution::PackageEntry& entry : listing.entries) {
    struct ::stat info = {};
    if (::lstat(packageFile(package, entry.packagePath).c_str(), &info) != 0) continue;
    if ((info.st_mode & (S_ISUID | S_ISGID)) != 0)
      warnings.push_back({entry.packagePath, "has a set-id bit; the installer drops it"});
    if ((info.st_mode & S_IWOTH) != 0 && !entry.isFolder)
      warnings.push_back({entry.packagePath, "is writable by everyone; installed, it is not"});
  }
}
#endif

void checkModuleFolders(const Package& package, std::vector<Warning>& warnings) {
  const auto defined = [&](const std::string& module) {
    return std::any_of(package.info.modules.begin(), package.info.modules.end(),
                       [&](const ModuleInfo& m) { return m.name == module; });
  };
  // Each folder maps to a module the way its files' installation paths do.
  const std::pair<const char*, const char*> roots[] = {{"Web", "QO11\\"},
                                                       {"Components", "Components\\"}};
  for (const auto& [folder, installationPrefix] : roots) {
    const fs::path parent = package.folders.solutionRoot / folder;
    if (!fs::is_directory(parent)) continue;
    std::vector<std::string> names;
    for (const fs::directory_entry& item : fs::directory_iterator(parent))
      if (item.is_directory()) names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      const std::string module =
          solution::getModuleOfPath(std::string(installationPrefix) + name + "\\x");
      if (!defined(module))
        warnings.push_back({std::string(folder) + "\\" + name,
                            "its files belong to module " + module +
                                ", which has no definition file " + module + ".ini"});
    }
  }
}

}  // namespace

int runInspect(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  PackageArgument parsed;
  if (!parsePackageArgument(args, parsed, err, "inspect")) {
    err << kInspectHelp;
    return 2;
  }
  if (parsed.help) {
    out << kInspectHelp;
    return 0;
  }
  std::vector<Warning> warnings;
  const auto printWarnings = [&] {
    for (const Warning& warning : warnings)
      err << "warning: " << warning.file << ": " << warning.reason << '\n';
  };
  try {
    // What the installer refuses is named before anything is read.
    const solution::PackageListing listing = fs::is_directory(parsed.root)
                                                 ? solution::scanSolutionFolder(parsed.root)
                                                 : solution::PackageListing{};
    const auto refuse = [&](const std::vector<solution::RefusedEntry>& refused) {
      for (const solution::RefusedEntry& entry : refused)
        warnings.push_back(
            {entry.packagePath, entry.reason + "; the installer refuses the package"});
    };
    refuse(listing.refused);
    if (warnings.empty()) refuse(refusedModules(parsed.root));
    if (!warnings.empty()) {
      printWarnings();
      err << "qsolution inspect: the installer refuses this package\n";
      return 2;
    }
    const Package package = readPackage(parsed.root);
    printPackage(package, out);
    checkDescriptor(package, warnings);
    checkChecksums(package, warnings);
    checkIniEncodings(package, warnings);
    checkInstallationPaths(package, warnings);
    checkLetterCase(listing, warnings);
#ifndef _WIN32
    checkModes(package, listing, warnings);
#endif
    checkScripts(package, warnings);
    checkModuleFolders(package, warnings);
  } catch (const std::exception& e) {
    err << "qsolution inspect: " << e.what() << '\n';
    return 2;
  }
  printWarnings();
  out << '\n' << warnings.size() << (warnings.size() == 1 ? " warning\n" : " warnings\n");
  return warnings.empty() ? 0 : 1;
}

}  // namespace qsi::tools
