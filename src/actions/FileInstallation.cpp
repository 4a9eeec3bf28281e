#include "actions/FileInstallation.h"

#include <exception>
#include <functional>
#include <optional>
#include <set>

#include "actions/Components.h"
#include "actions/FileSystem.h"
#include "actions/StepLog.h"
#include "checksum/Checksum.h"
#include "log/CLog.h"
#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/FileReplacer.h"
#include "platform/Interrupt.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace qsi::actions {

namespace fs = std::filesystem;
using checksum::Fingerprint;
using platform::Placement;
using platform::ProgressBox;

namespace {

constexpr std::size_t kBatchFiles = 64;
constexpr std::uintmax_t kBatchBytes = std::uintmax_t{8} << 20;

// The checksum text of a fingerprinted file, as getFileChecksum gives it.
std::string checksumOf(const fs::path& file, const Fingerprint& fingerprint) {
  return checksum::isLibraryPath(file) ? std::string(checksum::kNoChecksum)
                                       : checksum::checksumOfBytes(fingerprint);
}

// One file on its way into the site.
struct Pending {
  const PlannedFile* planned = nullptr;
  fs::path installed;
  std::string shown;
  fs::path source;
  std::uintmax_t size = 0;                // of the source
  std::optional<Fingerprint> old;         // of the installed file, when there is one
  fs::path backup;                        // where the journal keeps it
  fs::path keptBeside;                    // where it is kept when the journal cannot link it
  SaveReason saveWhy = SaveReason::None;  // why it is saved first
  fs::path saved;
  std::vector<fs::path> newFolders;  // the folders its copy needs, outermost first
  std::string failure;               // why it was not even tried, with the system's reason
  std::string folderFailure;         // why a folder of the copy could not be made
  bool saveTried = false;
  Placement savedCopy;
  Placement copy;
};

class Installation {
 public:
  Installation(const platform::Environment& env, const ActionServices& services,
               const fs::path& installationRoot, const solution::SolutionInfo& info,
               const solution::SolutionFolders& folders, journal::Journal& journal,
               InstallationResult& result)
      : env_(env),
        services_(services),
        root_(installationRoot),
        info_(info),
        folders_(folders),
        journal_(journal),
        result_(result),
        customized_(customizedFilesFolder(env, installationRoot)),
        componentLog_(env, kComponentLog),
        copyLog_(env, kCopyLog) {
    written_.resize(info.files.size());
  }

  void copyJavaClasses();
  void run(const InstallationPlan& plan);
  void verify(const InstallationPlan& plan);
  void close() {
    componentLog_.close();
    copyLog_.close();
  }

 private:
  [[nodiscard]] fs::path below(const fs::path& base, const std::string& path) const;
  Pending prepare(const PlannedFile& planned);
  void record(Pending& pending, const std::string& source);
  void place(std::vector<Pending>& batch, bool savesOnly = false);
  void placeBatch(std::vector<Pending>& batch);
  void installComponentFile(const PlannedFile& planned);
  void report(Pending& pending);
  void component(std::string_view what, const std::string& installed,
                 const std::function<void()>& action);
  void failCopy(const fs::path& destination, std::string_view reason);

  const platform::Environment& env_;
  const ActionServices& services_;
  const fs::path& root_;
  const solution::SolutionInfo& info_;
  const solution::SolutionFolders& folders_;
  journal::Journal& journal_;
  InstallationResult& result_;
  const fs::path customized_;
  StepLog componentLog_;
  StepLog copyLog_;
  std::set<fs::path> recordedFolders_;               // folders the journal knows this run makes
  std::vector<std::optional<Fingerprint>> written_;  // per entry: what was put in place
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

// A copy that failed is shown at once, with its reason; the text goes to the
// copy log too.
void Installation::failCopy(const fs::path& destination, std::string_view reason) {
  env_.ui.messageBox(
      {copyErrorText(destination, reason), platform::Buttons::OK, platform::Icon::Critical});
}

// Tells the journal what the file's copy will change: the folders it makes,
// and the file it replaces (kept by the journal) or creates.
void Installation::record(Pending& pending, const std::string& source) {
  std::error_code ec;
  for (fs::path folder = pending.installed.parent_path();
       folder.has_relative_path() && !fs::exists(folder, ec) && !recordedFolders_.contains(folder);
       folder = folder.parent_path())
    pending.newFolders.insert(pending.newFolders.begin(), folder);
  for (const fs::path& folder : pending.newFolders) {
    recordedFolders_.insert(folder);
    journal_.append(journal::Mkdir{folder.string()});
  }
  if (pending.old) {
    pending.backup = journal_.nextBackup();
    // On another file system than the journal's, the old bytes stay on the
    // destination's: a rename across would fail, and undo with it.
    const fs::path beside =
        platform::keptBesideFolder(pending.installed, journal_.folder().filename().string());
    pending.keptBeside = beside / pending.backup.filename();
    const auto attributes = platform::attributesOf(pending.installed);
    journal::Replace replace{pending.installed.string(),
                             pending.backup.filename().string(),
                             *pending.old,
                             source,
                             beside.string(),
                             attributes ? platform::attributesText(*attributes) : ""};
    journal_.append(std::move(replace));
  } else {
    journal_.append(journal::Create{pending.installed.string(), source});
  }
}

Pending Installation::prepare(const PlannedFile& planned) {
  Pending pending;
  pending.planned = &planned;
  const solution::FileEntry& entry = info_.files[planned.entry];
  try {
    pending.installed = below(root_, planned.path);
    pending.shown = platform::displayPath(pending.installed);
    pending.source = below(folders_.solutionRoot, planned.packagePath);
    std::error_code ec;
    pending.size = fs::file_size(pending.source, ec);
    if (fs::exists(fs::symlink_status(pending.installed, ec)))
      pending.old = checksum::fingerprintOf(pending.installed);
    if (!planned.again) {
      if (planned.action == FileAction::SaveAndReplace)
        pending.saveWhy = planned.save;
      else if (pending.old && checksum::knownChecksum(checksumOf(
                                  pending.installed, *pending.old)) != entry.currentChecksum)
        // An edit made after the information was retrieved is never lost.
        pending.saveWhy = SaveReason::ChangedMeanwhile;
      if (!pending.old) pending.saveWhy = SaveReason::None;  // nothing there to save
    }
    if (pending.saveWhy != SaveReason::None) pending.saved = below(customized_, planned.path);
    record(pending, pending.source.string());
  } catch (const std::exception& e) {
    pending.failure = platform::reasonOf(e);
  }
  return pending;
}

// Puts a batch in place: the journal's records made durable, the folders
// made, then the saved copies and the files in one flush. With `savesOnly`,
// only the saved copies.
void Installation::place(std::vector<Pending>& batch, bool savesOnly) {
  copyLog_.flush();
  componentLog_.flush();
  // The records go to disk with the batch's own flush, before anything changes.
  platform::AppendOnlyFile& records = journal_.writeOut();
  std::vector<Placement> placements;
  std::vector<Placement*> results;
  for (Pending& pending : batch) {
    if (!pending.failure.empty()) continue;
    std::optional<std::size_t> saved;
    if (pending.saveWhy != SaveReason::None && !pending.saveTried) {
      pending.saveTried = true;
      // The run's folder is private before anything is saved in it.
      std::error_code ec;
      if (fs::create_directories(customized_, ec)) platform::makePrivate(customized_);
      fs::create_directories(pending.saved.parent_path(), ec);
      saved = placements.size();
      Placement& copy = placements.emplace_back();
      copy.source = pending.installed;
      copy.destination = pending.saved;
      copy.asNew = true;
      results.push_back(&pending.savedCopy);
    }
    if (savesOnly) continue;
    for (const fs::path& folder : pending.newFolders) {
      std::error_code ec;
      if (!fs::is_directory(folder, ec) && !fs::create_directory(folder, ec)) {
        pending.folderFailure = platform::withReason(
            "cannot make the folder " + platform::displayPath(folder), platform::systemReason(ec));
        break;
      }
    }
    if (!pending.folderFailure.empty()) continue;
    platform::makeWritable(pending.installed);
    Placement& copy = placements.emplace_back();
    copy.source = pending.source;
    copy.destination = pending.installed;
    copy.backup = pending.backup;
    copy.keptBeside = pending.keptBeside;
    copy.after = saved;
    results.push_back(&pending.copy);
  }
  services_.files.placeAll(placements, journal_.staging(), &records);
  for (std::size_t i = 0; i < placements.size(); ++i) {
    *results[i] = std::move(placements[i]);
    results[i]->after.reset();
  }
}

// The logs and the result of one file, as the run tells them.
void Installation::report(Pending& pending) {
  const PlannedFile& planned = *pending.planned;
  bool installed = false;
  if (pending.installed.empty()) {
    copyLog_.writeLine(pending.failure);  // the path itself is refused: there is nowhere to copy
  } else if (!pending.failure.empty()) {
    failCopy(pending.installed, pending.failure);
    copyLog_.writeLine(copyErrorText(pending.installed, pending.failure));
  } else {
    const bool saving = pending.saveWhy != SaveReason::None;
    // A customization is told in its own log.
    if (saving && pending.saveWhy != SaveReason::Customized)
      copyLog_.writeLine("Saved before it is replaced, " +
                         std::string(saveReasonText(pending.saveWhy)) + " -> " + pending.shown);
    if (saving && !pending.savedCopy.placed()) {
      const std::string& why = pending.savedCopy.error;
      failCopy(pending.saved, why);
      copyLog_.writeLine(platform::withReason(
          copyErrorText(pending.saved) + " -> " + platform::displayPath(pending.saved), why));
      // Replacing the file now would lose its customization for good.
      copyLog_.writeLine("Not replaced, its customized copy could not be saved -> " +
                         pending.shown);
    } else {
      result_.savedFiles += saving ? 1 : 0;
      if (planned.again)
        copyLog_.writeLine("Installed again, from " +
                           platform::escapeControls(planned.packagePath) + " -> " + pending.shown);
      copyLog_.writeLine("Start Copy file -> " + pending.shown);
      installed = pending.folderFailure.empty() && pending.copy.placed();
      if (!installed) {
        const std::string& why =
            pending.folderFailure.empty() ? pending.copy.error : pending.folderFailure;
        failCopy(pending.installed, why);
        copyLog_.writeLine(copyErrorText(pending.installed, why));
      }
      copyLog_.writeLine("End Copy file -> " + pending.shown);
    }
  }
  if (installed) {
    written_[planned.entry] = Fingerprint{pending.copy.size, pending.copy.crc, pending.copy.crc32c};
    journal_.append(journal::Placed{pending.installed.string(), *written_[planned.entry]});
  }
  result_.installed[planned.entry] = installed;
}

void Installation::placeBatch(std::vector<Pending>& batch) {
  if (batch.empty()) return;
  place(batch);
  for (Pending& pending : batch) report(pending);
  batch.clear();
}

// Runs a component action between its Start and End lines; the End line is
// followed by an empty one. A failure is named between them, with the
// registrar's reason, and counted; a machine without the service has nothing
// to register with, which the installation always passed over.
void Installation::component(std::string_view what, const std::string& installed,
                             const std::function<void()>& action) {
  componentLog_.writeLine("Start " + std::string(what) + " -> " + installed);
  try {
    action();
  } catch (const platform::ServiceUnavailable&) {
  } catch (const std::exception& e) {
    ++result_.failedRegistrations;
    componentLog_.writeLine("Error : " + std::string(e.what()));
  }
  componentLog_.writeLine("End " + std::string(what) + " -> " + installed +
                          std::string(platform::kCrLf));
}

// A component's file, in its fixed order: saved, unregistered, removed from
// the MTS package, copied, registered, installed in the package again.
void Installation::installComponentFile(const PlannedFile& planned) {
  std::vector<Pending> batch{prepare(planned)};
  Pending& pending = batch.front();
  if (!pending.failure.empty() || pending.saveWhy != SaveReason::None) {
    place(batch, true);  // the saved copy first, before anything changes
    if (!pending.failure.empty() || !pending.savedCopy.placed()) {
      report(pending);
      return;
    }
  }
  const fs::path& dll = pending.installed;
  const std::size_t failedBefore = result_.failedRegistrations;
  const auto com = [&](bool doRegister) {
    return [&, doRegister] {
      const auto was = services_.com.isRegistered(dll);
      // Keys the registration makes: undo removes them once they are empty.
      if (doRegister)
        for (std::string& key : services_.com.keysMadeByRegistering())
          journal_.append(journal::RegistryKey{std::move(key)});
      journal_.write(journal::Com{dll.string(), doRegister, was});
      registerCOMComponent(services_.com, dll, doRegister);
    };
  };
  const auto mts = [&](bool doInstall) {
    return [&, doInstall] {
      if (auto before = packageComponents(services_.mts, kMtsPackageName))
        journal_.write(journal::Mts{std::string(kMtsPackageName), dll.string(), doInstall,
                                    std::move(*before)});
      registerMTSComponent(services_.mts, dll, kMtsPackageName, doInstall);
    };
  };
  if (planned.isCOMComponent) component("UnRegister Com Component", pending.shown, com(false));
  if (planned.isMTSComponent) component("UnRegister MTS Component", pending.shown, mts(false));
  place(batch);
  report(pending);
  if (planned.isCOMComponent) component("Register Com Component", pending.shown, com(true));
  if (planned.isMTSComponent) component("Register MTS Component", pending.shown, mts(true));
  if (result_.failedRegistrations != failedBefore) result_.failedModules.insert(planned.module);
}

void Installation::copyJavaClasses() {
  const fs::path classes = folders_.solutionRoot / "Classes";
  std::error_code ec;
  if (!fs::is_directory(classes, ec)) return;
  std::vector<Pending> batch;
  std::string why;  // of the first failure
  try {
    const fs::path target = getJavaFolder() / "Classes";
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(classes)) {
      const fs::file_type type = item.symlink_status().type();
      if (type == fs::file_type::directory) continue;
      if (type != fs::file_type::regular)
        throw platform::Failure(platform::kFileCopyFailure, "copyFolder",
                                platform::displayPath(item.path()) + " is not a regular file");
      Pending& pending = batch.emplace_back();
      pending.installed =
          below(target, platform::toDataPath(item.path().lexically_relative(classes)));
      pending.source = item.path();
      if (fs::exists(pending.installed, ec))
        pending.old = checksum::fingerprintOf(pending.installed);
      record(pending, pending.source.string());
    }
    place(batch);
  } catch (const std::exception& e) {
    why = platform::reasonOf(e);
  }
  for (const Pending& pending : batch) {
    if (why.empty())
      why = pending.folderFailure.empty() ? pending.copy.error : pending.folderFailure;
    if (pending.copy.placed() && !pending.copy.source.empty())
      journal_.append(
          journal::Placed{pending.installed.string(),
                          Fingerprint{pending.copy.size, pending.copy.crc, pending.copy.crc32c}});
  }
  if (!why.empty()) copyLog_.writeLine(platform::withReason("Error copying the Java Classes", why));
}

void Installation::run(const InstallationPlan& plan) {
  std::size_t total = 0;
  for (const PlannedFile& planned : plan.files)
    total += planned.action == FileAction::NotInstalled ? 0 : 1;
  std::size_t done = 0;
  env_.ui.setProgressCount(done, total);
  std::vector<Pending> batch;
  std::uintmax_t bytes = 0;
  for (const PlannedFile& planned : plan.files) {
    if (planned.action == FileAction::NotInstalled) continue;
    env_.ui.setProgress(ProgressBox::Text, "Installing files");
    env_.ui.setProgress(ProgressBox::Detail, planned.path);
    if (planned.isCOMComponent || planned.isMTSComponent) {
      placeBatch(batch);
      platform::throwIfInterrupted();
      installComponentFile(planned);
    } else {
      if (batch.empty()) platform::throwIfInterrupted();
      batch.push_back(prepare(planned));
      bytes += batch.back().size;
      if (batch.size() >= kBatchFiles || bytes >= kBatchBytes) {
        placeBatch(batch);
        bytes = 0;
      }
    }
    env_.ui.setProgressCount(++done, total);
  }
  placeBatch(batch);
  journal_.flush();
}

// Every installed file read back: as shipped, and as it was written. Of two
// entries installed at one path, the later one is what the path holds.
void Installation::verify(const InstallationPlan& plan) {
  std::optional<log::CLog> log;
  std::set<std::string> verified;
  // Not views::reverse: clang 14, which builds the fuzz targets, cannot
  // compile it against this libstdc++.
  // NOLINTNEXTLINE(modernize-loop-convert)
  for (auto it = plan.files.rbegin(); it != plan.files.rend(); ++it) {
    const PlannedFile& planned = *it;
    const auto& written = written_[planned.entry];
    if (!written || !result_.installed[planned.entry] || !verified.insert(planned.path).second)
      continue;
    const fs::path installed = below(root_, planned.path);
    const std::optional<std::string>& shipped = info_.files[planned.entry].solutionChecksum;
    std::string problem;
    try {
      const Fingerprint now = checksum::fingerprintOf(installed);
      // The bytes themselves, libraries too: that libraries carry "0" is a
      // rule of the customization check, and "0" ships no checksum.
      const std::string crc = checksum::checksumOfBytes(now);
      if (shipped && *shipped != checksum::kNoChecksum && crc != *shipped)
        problem = "its checksum is " + crc + ", the package ships " + *shipped;
      else if (now != *written)
        problem = "it changed after it was put in place";
    } catch (const std::exception& e) {
      problem = std::string("it cannot be read: ") + e.what();
    }
    if (problem.empty()) continue;
    if (!log) {
      log.emplace(env_);
      log->openLogFile(kVerifyLog);
    }
    log->writeLine("Not as shipped -> " + platform::displayPath(installed) + ": " + problem);
    result_.installed[planned.entry] = false;
    ++result_.failedVerifications;
  }
  if (log) log->closeLogFile();
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
                                const solution::SolutionFolders& folders,
                                const InstallationPlan& plan, journal::Journal& journal) {
  InstallationResult result;
  result.installed.assign(info.files.size(), false);
  Installation installation(env, services, installationRoot, info, folders, journal, result);
  installation.copyJavaClasses();
  installation.run(plan);
  installation.verify(plan);
  installation.close();
  std::size_t failed = 0;
  for (const PlannedFile& planned : plan.files) {
    if (planned.action == FileAction::NotInstalled || result.installed[planned.entry]) continue;
    ++failed;
    result.failedModules.insert(planned.module);
  }
  result.failedFiles = failed - result.failedVerifications;
  return result;
}

solution::SolutionInfo installedOnly(const solution::SolutionInfo& info,
                                     const InstallationResult& files) {
  solution::SolutionInfo recorded = info;
  for (std::size_t i = 0; i < recorded.files.size() && i < files.installed.size(); ++i)
    recorded.files[i].install = files.installed[i];
  return recorded;
}

}  // namespace qsi::actions
