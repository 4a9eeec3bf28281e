#include "actions/FileInstallation.h"

#include <exception>

#include "actions/Components.h"
#include "actions/FileSystem.h"
#include "actions/StepLog.h"
#include "platform/Failure.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace qsi::actions {

namespace fs = std::filesystem;
using platform::ProgressBox;

namespace {

template <typename Step>
void passOver(Step&& step) {
  try {
    step();
  } catch (const std::exception&) {
    // One failing statement never stops the installation of the others.
  }
}

// A FileCopy's outcome: the description of its failure, or empty.
std::string copyFile(const platform::Environment& env, const ActionServices& services,
                     const fs::path& source, const fs::path& destination) {
  try {
    FileCopy(env, services.files, source, destination);
  } catch (const platform::Failure& failure) {
    return failure.description();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

// Runs a component action between its Start and End lines; the End line is
// followed by an empty one.
template <typename Action>
void componentAction(StepLog& log, std::string_view what, const std::string& installed,
                     Action&& action) {
  log.writeLine("Start " + std::string(what) + " -> " + installed);
  passOver(action);
  log.writeLine("End " + std::string(what) + " -> " + installed + std::string(platform::kCrLf));
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

  void install(const solution::FileEntry& entry);
  void logFailure(const std::exception& e) { copyLog_.writeLine(e.what()); }

  void close() {
    componentLog_.close();
    copyLog_.close();
  }

 private:
  const platform::Environment& env_;
  const ActionServices& services_;
  const fs::path& root_;
  const solution::SolutionFolders& folders_;
  const fs::path customized_;
  StepLog componentLog_;
  StepLog copyLog_;
};

void Installation::install(const solution::FileEntry& entry) {
  env_.ui.setProgress(ProgressBox::Text, "Installing files");
  env_.ui.setProgress(ProgressBox::Detail, entry.path);
  // Every path made from the entry stays below its base, whatever it holds.
  const auto below = [&](const fs::path& base, const std::string& path) {
    auto joined = platform::joinBelow(base, path);
    if (!joined)
      throw platform::Failure(platform::kFileCopyFailure, "installFiles",
                              "The path " + platform::escapeControls(path) + " leaves the folder " +
                                  platform::displayPath(base) + ": the file was not installed.");
    return *joined;
  };
  const fs::path installed = below(root_, entry.path);
  const std::string shown = platform::displayPath(installed);

  if (entry.customized) {
    const fs::path saved = below(customized_, entry.path);
    if (const std::string error = copyFile(env_, services_, installed, saved); !error.empty()) {
      copyLog_.writeLine(error + " -> " + platform::displayPath(saved));
      // Replacing the file now would lose its customization for good.
      copyLog_.writeLine("Not replaced, its customized copy could not be saved -> " + shown);
      return;
    }
  }
  if (entry.isCOMComponent)
    componentAction(componentLog_, "UnRegister Com Component", shown,
                    [&] { registerCOMComponent(services_.com, installed, false); });
  if (entry.isMTSComponent)
    componentAction(componentLog_, "UnRegister MTS Component", shown, [&] {
      registerMTSComponent(services_.mts, installed, kMtsPackageName, false);
    });

  copyLog_.writeLine("Start Copy file -> " + shown);
  const fs::path source = below(folders_.solutionRoot, packagePathOf(entry));
  if (const std::string error = copyFile(env_, services_, source, installed); !error.empty())
    copyLog_.writeLine(error);
  copyLog_.writeLine("End Copy file -> " + shown);

  if (entry.isCOMComponent)
    componentAction(componentLog_, "Register Com Component", shown,
                    [&] { registerCOMComponent(services_.com, installed, true); });
  if (entry.isMTSComponent)
    componentAction(componentLog_, "Register MTS Component", shown,
                    [&] { registerMTSComponent(services_.mts, installed, kMtsPackageName, true); });
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
  return installationRoot / "QOCustomized" / env.stamp.installDateAndTimeFormat;
}

void installFiles(const platform::Environment& env, const ActionServices& services,
                  const fs::path& installationRoot, const solution::SolutionInfo& info,
                  const solution::SolutionFolders& folders) {
  Installation run(env, services, installationRoot, folders);
  run.copyJavaClasses();
  std::size_t total = 0;
  for (const auto& entry : info.files) total += entry.install ? 1 : 0;
  std::size_t done = 0;
  env.ui.setProgressCount(done, total);
  for (const auto& entry : info.files) {
    if (!entry.install) continue;
    try {
      run.install(entry);
    } catch (const std::exception& e) {
      run.logFailure(e);
    }
    env.ui.setProgressCount(++done, total);
  }
  run.close();
}

}  // namespace qsi::actions
