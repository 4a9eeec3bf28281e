#include "actions/FileInstallation.h"

#include <exception>
#include <functional>
#include <set>

#include "actions/Components.h"
#include "actions/FileSystem.h"
#include "actions/StepLog.h"
#include "customization/Checksum.h"
#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/Interrupt.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace qsi::actions {

namespace fs = std::filesystem;
using platform::ProgressBox;

namespace {

// A FileCopy's outcome: the description of its failure, or empty.
std::string copyFile(const platform::Environment& env, const ActionServices& services,
                     const fs::path& source, const fs::path& destination,
                     Placement placement = Placement::Replace) {
  try {
    FileCopy(env, services.files, source, destination, placement);
  } catch (const platform::Failure& failure) {
    return failure.description();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

// The key of an installation path among those handled in this run: Windows
// names one file whatever the case of its name.
std::string pathKey(const std::string& path) {
#ifdef _WIN32
  return platform::toLower(path);
#else
  return path;
#endif
}

class Installation {
 public:
  Installation(const platform::Environment& env, const ActionServices& services,
               const fs::path& installationRoot, const solution::SolutionFolders& folders)
      : env_(env),
        services_(services),
        root_(installationRoot),
        folders_(folders),
        customized_(customizedFilesFolder(env, installationRoot)),
        componentLog_(env, kComponentLog),
        copyLog_(env, kCopyLog) {}

  void copyJavaClasses() {
    const fs::path classes = folders_.solutionRoot / "Classes";
    std::error_code ec;
    if (!fs::is_directory(classes, ec)) return;
    try {
      copyFolder(services_.files, classes, getJavaFolder() / "Classes");
    } catch (const std::exception&) {
      copyLog_.writeLine("Error copying the Java Classes");
    }
  }

  // Installs one entry; true when its new file is in place.
  bool install(const solution::FileEntry& entry);

  void logFailure(const std::exception& e) { copyLog_.writeLine(e.what()); }
  [[nodiscard]] std::size_t failedRegistrations() const { return failedRegistrations_; }
  [[nodiscard]] std::size_t savedFiles() const { return savedFiles_; }

  void close() {
    componentLog_.close();
    copyLog_.close();
  }

 private:
  fs::path below(const fs::path& base, const std::string& path) const;
  [[nodiscard]] std::string whySave(const solution::FileEntry& entry,
                                    const fs::path& installed) const;
  bool save(const fs::path& installed, const fs::path& saved);
  void component(std::string_view what, const std::string& installed,
                 const std::function<Registration()>& action);

  const platform::Environment& env_;
  const ActionServices& services_;
  const fs::path& root_;
  const solution::SolutionFolders& folders_;
  const fs::path customized_;
  StepLog componentLog_;
  StepLog copyLog_;
  std::set<std::string> handled_;  // installation paths installed in this run
  std::size_t failedRegistrations_ = 0;
  std::size_t savedFiles_ = 0;
};

// Every path made from an entry stays below its base, whatever it holds.
fs::path Installation::below(const fs::path& base, const std::string& path) const {
  auto joined = platform::joinBelow(base, path);
  if (!joined)
    throw platform::Failure(platform::kFileCopyFailure, "installFiles",
                            "The path " + platform::escapeControls(path) + " leaves the folder " +
                                platform::displayPath(base) + ": the file was not installed.");
  return *joined;
}

// Why the installed file must be saved before it is replaced, or nothing.
std::string Installation::whySave(const solution::FileEntry& entry,
                                  const fs::path& installed) const {
  if (entry.customized) return "customized";
  // An edit made after the information was retrieved is never lost.
  const std::string now = customization::getFileChecksum(installed);
  if (now == "0") return {};  // missing, or a library, which is never checksummed
  if (now != entry.currentChecksum) return "changed after the information was retrieved";
  if (entry.metabaseLookupFailed) return "the Metabase could not tell whether it was customized";
  return {};
}

bool Installation::save(const fs::path& installed, const fs::path& saved) {
  // The run's folder is private before anything is saved in it: a saved
  // file may hold passwords.
  std::error_code ec;
  if (fs::create_directories(customized_, ec)) platform::makePrivate(customized_);
  if (const std::string error = copyFile(env_, services_, installed, saved, Placement::NewOnly);
      !error.empty()) {
    copyLog_.writeLine(error + " -> " + platform::displayPath(saved));
    return false;
  }
  ++savedFiles_;
  return true;
}

// Runs a component action between its Start and End lines; the End line is
// followed by an empty one. A failure is named between them and counted.
void Installation::component(std::string_view what, const std::string& installed,
                             const std::function<Registration()>& action) {
  componentLog_.writeLine("Start " + std::string(what) + " -> " + installed);
  Registration outcome = Registration::Failed;
  std::string error;
  try {
    outcome = action();
  } catch (const platform::ServiceUnavailable&) {
    outcome = Registration::ServiceUnavailable;
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (outcome == Registration::Failed) {
    ++failedRegistrations_;
    componentLog_.writeLine("Error : " + (error.empty() ? "the registration failed" : error));
  }
  componentLog_.writeLine("End " + std::string(what) + " -> " + installed +
                          std::string(platform::kCrLf));
}

bool Installation::install(const solution::FileEntry& entry) {
  env_.ui.setProgress(ProgressBox::Text, "Installing files");
  env_.ui.setProgress(ProgressBox::Detail, entry.path);
  const fs::path installed = below(root_, entry.path);
  const std::string shown = platform::displayPath(installed);
  const fs::path source = below(folders_.solutionRoot, packagePathOf(entry));

  if (!handled_.insert(pathKey(entry.path)).second) {
    // Two entries of the package go to one path: the later one wins, and
    // what was there was saved, if at all, before the first.
    copyLog_.writeLine("Installed again, from " + platform::escapeControls(packagePathOf(entry)) +
                       " -> " + shown);
  } else if (const std::string why = whySave(entry, installed); !why.empty()) {
    const fs::path saved = below(customized_, entry.path);
    if (why != "customized")
      copyLog_.writeLine("Saved before it is replaced, " + why + " -> " + shown);
    if (!save(installed, saved)) {
      // Replacing the file now would lose its customization for good.
      copyLog_.writeLine("Not replaced, its customized copy could not be saved -> " + shown);
      return false;
    }
  }
  const auto com = [&](bool doRegister) {
    return [&, doRegister] { return registerCOMComponent(services_.com, installed, doRegister); };
  };
  const auto mts = [&](bool doInstall) {
    return [&, doInstall] {
      registerMTSComponent(services_.mts, installed, kMtsPackageName, doInstall);
      return Registration::Done;
    };
  };
  if (entry.isCOMComponent) component("UnRegister Com Component", shown, com(false));
  if (entry.isMTSComponent) component("UnRegister MTS Component", shown, mts(false));

  copyLog_.writeLine("Start Copy file -> " + shown);
  const std::string error = copyFile(env_, services_, source, installed);
  if (!error.empty()) copyLog_.writeLine(error);
  copyLog_.writeLine("End Copy file -> " + shown);

  if (entry.isCOMComponent) component("Register Com Component", shown, com(true));
  if (entry.isMTSComponent) component("Register MTS Component", shown, mts(true));
  return error.empty();
}

}  // namespace

std::string packagePathOf(const solution::FileEntry& entry) {
  if (!entry.packagePath.empty()) return entry.packagePath;
  std::string path = entry.path.starts_with("QO11") ? "Web" + entry.path.substr(4) : entry.path;
  // Only the package's own part is rewritten: a "\QCedar\" in the folder
  // above the package is left alone.
  if (platform::contains(path, "Backend.dll"))
    path = platform::replaceAll("\\" + path, "\\QCedar\\", "\\QBackend\\").substr(1);
  return path;
}

fs::path customizedFilesFolder(const platform::Environment& env, const fs::path& installationRoot) {
  return installationRoot / "QOCustomized" / env.stamp.runFolder;
}

InstallationResult installFiles(const platform::Environment& env, const ActionServices& services,
                                const fs::path& installationRoot,
                                const solution::SolutionInfo& info,
                                const solution::SolutionFolders& folders) {
  Installation run(env, services, installationRoot, folders);
  run.copyJavaClasses();
  InstallationResult result;
  result.installed.assign(info.files.size(), false);
  std::size_t total = 0;
  for (const auto& entry : info.files) total += entry.install ? 1 : 0;
  std::size_t done = 0;
  env.ui.setProgressCount(done, total);
  for (std::size_t i = 0; i < info.files.size(); ++i) {
    const solution::FileEntry& entry = info.files[i];
    if (!entry.install) continue;
    platform::throwIfInterrupted();
    const std::size_t registrationsBefore = run.failedRegistrations();
    try {
      result.installed[i] = run.install(entry);
    } catch (const platform::Interrupted&) {
      throw;
    } catch (const std::exception& e) {
      run.logFailure(e);
    }
    if (!result.installed[i]) ++result.failedFiles;
    if (!result.installed[i] || run.failedRegistrations() != registrationsBefore)
      result.failedModules.insert(entry.module);
    env.ui.setProgressCount(++done, total);
  }
  result.failedRegistrations = run.failedRegistrations();
  result.savedFiles = run.savedFiles();
  run.close();
  return result;
}

}  // namespace qsi::actions
