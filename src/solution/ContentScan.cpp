#include "solution/ContentScan.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_set>
#include <utility>

#include "platform/Folder.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "solution/ComponentLists.h"
#include "solution/ModuleReader.h"

namespace qsi::solution {

namespace fs = std::filesystem;
using platform::ProgressBox;

namespace {

constexpr std::string_view kComponentsPrefix = "Components\\";
constexpr std::string_view kWebPrefix = "QO11\\";

using FolderModule = std::pair<std::string_view, std::string_view>;

constexpr auto kComponentFolders = std::to_array<FolderModule>({
    {"QAlder", "Q-Alder"},
    {"Bramble", "Q-Alder"},
    {"Brake_Fern.dll", "Q-Alder"},
    {"QBirch", "Q-Birch"},
    {"QCedar", "Q-Cedar"},
    {"QBackend", "Q-Cedar"},
    {"QOCommon", "Q-Common"},
    {"QOrchard", "Q-Common"},
    {"QOBackendComponent", "Q-Common"},
    {"QOBCBELookup", "Q-Common"},
    {"QHazel", "Q-Hazel"},
    {"QLarch", "Q-Larch"},
    {"QMaple", "Q-Maple"},
    {"QHazelnut", "Q-Hazelnut"},
});

constexpr auto kWebFolders = std::to_array<FolderModule>({
    {"Q-Alder", "Q-Alder"},
    {"Q-Birch", "Q-Birch"},
    {"Q-Larch", "Q-Larch"},
    {"Q-Cedar", "Q-Cedar"},
    {"Q-Maple", "Q-Maple"},
    {"Q-Hazelnut", "Q-Hazelnut"},
    {"Q-Hazel", "Q-Hazel"},
    {"Q-Oak", "Q-Maple"},
    {"Q-Pine", "Q-Maple"},
    {"Q-Rowan", "Q-Maple"},
    {"Q-Spruce", "Q-Maple"},
});

template <std::size_t N>
std::string_view lookUp(const std::array<FolderModule, N>& table, std::string_view folder) {
  for (const auto& [name, module] : table)
    if (name == folder) return module;
  return {};
}

// Sets `folder` to the text between `prefix` and the next backslash; false
// when no backslash follows.
bool folderAfter(std::string_view path, std::string_view prefix, std::string_view& folder) {
  const std::string_view rest = path.substr(prefix.size());
  const auto end = rest.find('\\');
  if (end == std::string_view::npos) return false;
  folder = rest.substr(0, end);
  return true;
}

bool isContentFolder(std::string_view packageFolder) {
  return platform::contains(packageFolder, "Web") ||
         platform::contains(packageFolder, "Components");
}

// Case-blind name order, made total by the exact bytes for names that
// differ in case only (possible outside Windows).
bool byName(const std::string& a, const std::string& b) {
  // One pass: sorting a large folder compares many names.
  const auto [inA, inB] = std::mismatch(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return platform::lowerChar(x) == platform::lowerChar(y);
  });
  if (inA == a.end() || inB == b.end())
    return inA == a.end() && inB == b.end() ? a < b : inA == a.end();
  return platform::lowerChar(*inA) < platform::lowerChar(*inB);
}

std::string below(const std::string& packageFolder, const std::string& name) {
  return packageFolder.empty() ? name : packageFolder + '\\' + name;
}

}  // namespace

std::string getFileName(std::string_view path) {
  const auto slash = path.rfind('\\');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string getModuleOfPath(std::string_view path) {
  std::string_view folder;
  if (path.starts_with(kComponentsPrefix)) {
    if (!folderAfter(path, kComponentsPrefix, folder) || folder.empty()) return "Q-Common";
    const std::string_view module = lookUp(kComponentFolders, folder);
    return std::string(module.empty() ? folder : module);
  }
  if (path.starts_with(kWebPrefix) && folderAfter(path, kWebPrefix, folder)) {
    const std::string_view module = lookUp(kWebFolders, folder);
    if (!module.empty()) return std::string(module);
  }
  return "Q-Common";
}

std::string getInstallationPath(std::string_view packagePath) {
  // A web file stays a web file even in a web folder named "Components";
  // it would otherwise be installed among the components.
  if (!platform::contains(packagePath, "Components") || packagePath.starts_with("Web\\")) {
    const std::string_view rest = packagePath.substr(std::min<std::size_t>(4, packagePath.size()));
    std::string path;
    path.reserve(kWebPrefix.size() + rest.size());
    return path.append(kWebPrefix).append(rest);
  }
  const std::string file = getFileName(packagePath);
  if (file == "QOrchard.dll") return "Components\\QOrchard\\QOrchard.dll";
  return std::string(kComponentsPrefix) + moduleDatabaseName(getModuleOfPath(packagePath)) + '\\' +
         file;
}

namespace {

void walk(const fs::path& folder, const std::string& packageFolder, PackageListing& listing) {
  std::vector<std::string> files;
  std::vector<std::string> folders;
  for (platform::FolderEntry& item : platform::listFolder(folder)) {
    std::string& name = item.name;
    auto problem = platform::nameProblem(name);
    if (!problem) problem = platform::windowsNameProblem(name);
    if (problem)
      listing.refused.push_back({platform::escapeControls(below(packageFolder, name)), *problem});
    else if (item.kind == platform::EntryKind::File)
      files.push_back(std::move(name));
    else if (item.kind == platform::EntryKind::Folder)
      folders.push_back(std::move(name));
    else if (item.kind == platform::EntryKind::Link)
      listing.refused.push_back({below(packageFolder, name), "it is a link"});
    else
      listing.refused.push_back({below(packageFolder, name),
                                 "it is neither a file nor a folder (a pipe, socket or device)"});
  }
  std::sort(files.begin(), files.end(), byName);
  std::sort(folders.begin(), folders.end(), byName);
  for (const std::string& name : files)
    listing.entries.push_back({below(packageFolder, name), false});
  for (const std::string& name : folders) {
    std::string packagePath = below(packageFolder, name);
    listing.entries.push_back({packagePath, true});
    walk(folder / name, packagePath, listing);
  }
}

}  // namespace

PackageListing scanSolutionFolder(const fs::path& root) {
  PackageListing listing;
  walk(root, "", listing);
  std::sort(
      listing.refused.begin(), listing.refused.end(),
      [](const RefusedEntry& a, const RefusedEntry& b) { return a.packagePath < b.packagePath; });
  return listing;
}

bool isContentFile(const PackageEntry& entry) {
  if (entry.isFolder || entry.packagePath.ends_with(".scc")) return false;
  const auto slash = entry.packagePath.rfind('\\');
  return slash != std::string::npos &&
         isContentFolder(std::string_view(entry.packagePath).substr(0, slash));
}

void processFileInformation(const platform::Environment& env, const SolutionFolders& folders,
                            const std::string& installationPath, FileEntry& entry) {
  env.ui.setProgress(ProgressBox::Text, "Processing the file information");
  entry.module = getModuleOfPath(installationPath);
  if (&installationPath != &entry.path) entry.path = installationPath;
  entry.isMTSComponent = isMTSComponentFile(env.profiles, folders, installationPath);
  entry.isCOMComponent = isCOMComponentFile(env.profiles, folders, installationPath);
  ShippedChecksum shipped = getSolutionChecksum(env.profiles, folders, installationPath);
  entry.solutionChecksum = std::move(shipped.checksum);
  shipped.lookupPath.append(" -> ").append(entry.module);
  env.ui.setProgress(ProgressBox::Detail, shipped.lookupPath);
}

namespace {

struct CaseBlindHash {
  std::size_t operator()(std::string_view text) const noexcept {
    std::uint64_t value = 14695981039346656037u;  // FNV-1a over the lower-case bytes
    for (const char c : text) {
      value ^= static_cast<unsigned char>(platform::lowerChar(c));
      value *= 1099511628211u;
    }
    return static_cast<std::size_t>(value);
  }
};
struct CaseBlindEqual {
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return platform::iequals(a, b);
  }
};

// Windows holds one file or folder for names equal but for letter case, under
// the name it was made with: each installation path takes the spelling of
// its folders and file that the package gave first, so that Linux ends as
// Windows would. The set views the paths of `files`, which do not move.
class FirstSpellings {
 public:
  void respell(std::string& path) {
    for (std::size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
      const std::string_view part(path.data(), std::min(end, path.size()));
      const auto [first, isNew] = seen_.insert(part);
      if (!isNew) path.replace(0, part.size(), *first);
      if (end == std::string::npos) return;
    }
  }

 private:
  std::unordered_set<std::string_view, CaseBlindHash, CaseBlindEqual> seen_;
};

}  // namespace

std::vector<FileEntry> readSolutionContent(const platform::Environment& env,
                                           const SolutionFolders& folders, PackageListing listing) {
  std::vector<FileEntry> files;
  files.reserve(static_cast<std::size_t>(
      std::count_if(listing.entries.begin(), listing.entries.end(), isContentFile)));
  FirstSpellings spellings;
  for (PackageEntry& item : listing.entries) {
    if (!isContentFile(item)) continue;
    FileEntry& entry = files.emplace_back();
    entry.path = getInstallationPath(item.packagePath);
    spellings.respell(entry.path);
    entry.packagePath = std::move(item.packagePath);
  }
  env.ui.setProgress(ProgressBox::Text, "Retrieving content of Solution", false);
  std::string detail;  // one buffer for every file's progress line
  for (std::size_t i = 0; i < files.size(); ++i) {
    FileEntry& entry = files[i];
    processFileInformation(env, folders, entry.path, entry);
    detail.assign(entry.path).append(" -> ").append(entry.module);
    env.ui.setProgress(ProgressBox::Detail, detail);
    env.ui.setProgressCount(i + 1, files.size());
  }
  if (!files.empty()) env.ui.setProgressCount(0, 0);
  return files;
}

}  // namespace qsi::solution
