#include <algorithm>
#include <exception>
#include <filesystem>
#include <ostream>
#include <set>

#include "customization/Checksum.h"
#include "platform/Paths.h"
#include "platform/Text.h"
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
  const std::pair<const std::string*, const std::string*> all[] = {
      {&module.databaseName1, &module.databaseUser1},
      {&module.databaseName2, &module.databaseUser2},
      {&module.databaseName3, &module.databaseUser3}};
  for (const auto& [name, user] : all) {
    if (name->empty()) continue;
    if (!text.empty()) text += ", ";
    text += *name + " (user " + (user->empty() ? "none" : *user) + ")";
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
      << "Product   " << info.productName << ' ' << info.version << " (" << info.solutionType
      << ")\n"
      << "Requires  " << info.dependencyProductName << ' ' << info.dependencyVersion
      << ", Q-Common " << info.commonVersion << "\n\n";

  out << "Modules (" << info.modules.size() << ")\n";
  for (const ModuleInfo& module : info.modules)
    out << "  " << module.name << ' ' << module.version << "  databases: " << databases(module)
        << '\n';

  out << "\nContent files (" << info.files.size() << ")\n";
  for (const FileEntry& file : info.files)
    out << "  " << file.path << "\n      module " << file.module << ", " << kinds(file)
        << "shipped checksum " << (file.solutionChecksum.empty() ? "(none)" : file.solutionChecksum)
        << ", from " << file.packagePath << '\n';

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
    if (file.solutionChecksum.empty()) {
      warnings.push_back(
          {file.packagePath, "no Checksum in section [" + section + "] of FileVersion.txt"});
      continue;
    }
    if (isLibrary(file.packagePath)) continue;  // libraries are never checksummed
    const std::string own = customization::getFileChecksum(packageFile(package, file.packagePath));
    if (own != file.solutionChecksum)
      warnings.push_back({file.packagePath, "shipped checksum " + file.solutionChecksum +
                                                " (section [" + section +
                                                "] of FileVersion.txt) differs from the file's "
                                                "checksum " +
                                                own});
  }
}

void checkScripts(const Package& package, std::vector<Warning>& warnings) {
  const fs::path& sqlFolder = package.folders.sqlFolder;
  std::set<std::string> listed;
  for (std::size_t i = 0; i < package.info.sqlScripts.size(); ++i) {
    const std::string& name = package.info.sqlScripts[i].path;
    const std::string line = std::to_string(i + 1);
    listed.insert(name);
    if (name.empty())
      warnings.push_back({"Sql\\Sequence.txt", "line " + line + " names no script"});
    else if (!fs::is_regular_file(platform::joinDataPath(sqlFolder, name)))
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
  try {
    const Package package = readPackage(parsed.root);
    printPackage(package, out);
    checkDescriptor(package, warnings);
    checkChecksums(package, warnings);
    checkScripts(package, warnings);
    checkModuleFolders(package, warnings);
  } catch (const std::exception& e) {
    err << "qsolution inspect: " << e.what() << '\n';
    return 2;
  }
  for (const Warning& warning : warnings)
    err << "warning: " << warning.file << ": " << warning.reason << '\n';
  out << '\n' << warnings.size() << (warnings.size() == 1 ? " warning\n" : " warnings\n");
  return warnings.empty() ? 0 : 1;
}

}  // namespace qsi::tools
