#include "actions/Undo.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>

#include "actions/Components.h"
#include "actions/FileInstallation.h"
#include "actions/Services.h"
#include "actions/StepLog.h"
#include "checksum/Checksum.h"
#include "journal/Journal.h"
#include "journal/RunState.h"
#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/FileReplacer.h"
#include "platform/Interrupt.h"
#include "platform/Ownership.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "site/InstallerRecord.h"
#include "site/RootKey.h"

namespace qsi::actions {

namespace fs = std::filesystem;
using checksum::Fingerprint;
using journal::Journal;
using journal::Record;

namespace {

std::optional<Fingerprint> fingerprintIfThere(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(file, ec))) return std::nullopt;
  try {
    return checksum::fingerprintOf(file);
  } catch (const std::system_error&) {
    return std::nullopt;
  }
}

// Temporary files a killed copy left beside its destination are the run's own.
void sweepTemporaryFiles(const fs::path& folder) {
  std::error_code ec;
  for (const auto& item : fs::directory_iterator(folder, ec))
    if (platform::isTemporaryFileName(item.path().filename().string())) fs::remove(item.path(), ec);
}

bool hasRecord(const std::vector<Record>& records, std::size_t kind) {
  return std::any_of(records.begin(), records.end(),
                     [&](const Record& r) { return r.index() == kind; });
}

template <typename Kind>
bool has(const std::vector<Record>& records) {
  return hasRecord(records, Record(Kind{}).index());
}

bool hasChanges(const std::vector<Record>& records) {
  return std::any_of(records.begin(), records.end(), journal::isChange);
}

const std::string& dateOf(const std::vector<Record>& records) {
  static const std::string none;
  const auto* begin = records.empty() ? nullptr : std::get_if<journal::Begin>(&records.front());
  return begin != nullptr ? begin->date : none;
}

// A run of the site as its marker tells it; a journal of an earlier
// version, which has none, is read once to tell it.
struct Listed {
  std::string name;
  journal::RunState state;
  std::string date;  // of an earlier version's journal, which has no sequence
};

struct Listing {
  std::vector<Listed> runs;                                  // with changes, newest first
  std::vector<std::pair<std::string, std::string>> refused;  // run, why
  std::optional<std::string> rootRefused;                    // the journal root, why
};

std::optional<journal::RunState> legacyState(const journal::Contents& contents, std::string& date) {
  const auto& records = contents.records;
  if (!hasChanges(records)) return std::nullopt;
  date = dateOf(records);
  using journal::Status;
  const Status status = has<journal::Undone>(records) ? Status::Undone
                        : has<journal::Kept>(records) ? Status::Kept
                        : has<journal::End>(records)  ? Status::Ended
                                                      : Status::Open;
  return journal::RunState{0, true, status};
}

fs::path journalRoot(const fs::path& instMainDir) {
  return instMainDir / "QOJournal";
}

// The file of a run's folder named as `file` is, read through the folder
// opened and checked: nothing when it is missing, why when it is refused.
std::optional<std::string> readOfRun(const platform::TrustedFolder& run, const fs::path& file,
                                     std::string& why) {
  auto bytes = run.readFile(file.filename().string(), why);
  if (!why.empty()) why = platform::displayPath(run.path() / file.filename()) + ": " + why;
  return bytes;
}

// The run's folder opened below the journal root, both checked; why not.
std::optional<platform::TrustedFolder> openRun(const fs::path& instMainDir, const std::string& run,
                                               std::string& why) {
  const auto root = platform::TrustedFolder::open(journalRoot(instMainDir), why);
  auto folder = root ? root->openFolder(run, why) : std::nullopt;
  if (!why.empty())
    why = platform::displayPath(root ? root->path() / run : journalRoot(instMainDir)) + ": " + why;
  return folder;
}

// The runs of the site with changes, newest first by sequence; the
// journals of an earlier version come before none, by their dates. A run
// folder, marker or journal that others could have written is refused, the
// journal root too; each is opened without following a link and checked on
// what was opened, its files read through it.
Listing runsWithChanges(const fs::path& instMainDir) {
  Listing listing;
  std::string why;
  const auto root = platform::TrustedFolder::open(journalRoot(instMainDir), why);
  if (!root) {
    if (!why.empty())
      listing.rootRefused = platform::displayPath(journalRoot(instMainDir)) + ": " + why;
    return listing;
  }
  std::error_code ec;
  for (const auto& item : fs::directory_iterator(root->path(), ec)) {
    if (!item.is_directory(ec) && !item.is_symlink(ec)) continue;
    const fs::path& folder = item.path();
    const std::string name = folder.filename().string();
    const auto run = root->openFolder(name, why);
    if (!run) {
      listing.refused.emplace_back(name, platform::displayPath(folder) + ": " + why);
      continue;
    }
    std::optional<std::string> problem;
    for (const fs::path& part : {journal::stateFileOf(folder), Journal::fileOf(folder)})
      if (!problem)
        if (const auto untrusted = run->untrustedEntry(part.filename().string()))
          problem = platform::displayPath(part) + ": " + *untrusted;
    const auto marker = problem ? std::nullopt : readOfRun(*run, journal::stateFileOf(folder), why);
    if (problem || !why.empty()) {
      listing.refused.emplace_back(name, problem.value_or(why));
      continue;
    }
    Listed listed{name, {}, {}};
    if (const auto state = marker ? journal::parseState(*marker) : std::nullopt) {
      listed.state = *state;
    } else if (marker) {
      listing.refused.emplace_back(name, "its state marker is none the installer writes");
      continue;
    } else if (const auto text = readOfRun(*run, Journal::fileOf(folder), why); !why.empty()) {
      listing.refused.emplace_back(name, why);
      continue;
    } else if (const auto old = legacyState(Journal::parse(text.value_or("")), listed.date)) {
      listed.state = *old;
    } else {
      continue;
    }
    if (listed.state.changes) listing.runs.push_back(std::move(listed));
  }
  std::sort(listing.runs.begin(), listing.runs.end(), [](const Listed& a, const Listed& b) {
    if (a.state.sequence != b.state.sequence) return a.state.sequence > b.state.sequence;
    return a.date != b.date ? a.date > b.date : a.name > b.name;
  });
  return listing;
}

class Undo {
 public:
  Undo(const platform::Environment& env, const ActionServices& services, fs::path instMainDir,
       fs::path journal, fs::path savedFolder)
      : env_(env),
        services_(services),
        instMainDir_(std::move(instMainDir)),
        journal_(std::move(journal)),
        savedFolder_(std::move(savedFolder)),
        log_(env, kUndoLog) {}

  UndoResult run(std::string_view run);

 private:
  void undo(const Record& record);
  void undoFile(const Record& record, const std::string& path);
  void restore(const journal::Replace& record);
  void dropKeptCopy(const fs::path& backup);
  void remove(const journal::Create& record);
  void removeFolder(const journal::Mkdir& record);
  void putBack(const journal::RegistryValue& record);
  void putBack(const journal::Com& record);
  void putBack(const journal::Mts& record);
  void removeKey(const std::string& key);
  void sweep(const fs::path& folder);
  [[nodiscard]] std::optional<fs::path> keptCopy(const journal::Replace& record) const;
  [[nodiscard]] std::optional<Fingerprint> expectedNew(const std::string& path,
                                                       const std::string& source) const;
  bool saveIfChanged(const fs::path& file, const std::optional<Fingerprint>& expected);
  [[nodiscard]] const fs::path& savedRoot();
  [[nodiscard]] bool throughLink(const fs::path& base, const fs::path& folder);
  void notUndone(const std::string& what, const std::string& why);

  const platform::Environment& env_;
  const ActionServices& services_;
  const fs::path instMainDir_;
  const fs::path journal_;
  const fs::path savedFolder_;
  std::optional<fs::path> savedRoot_;  // made at the first save
  StepLog log_;
  std::map<std::string, Fingerprint> placed_;  // what the run put at each path
  UndoResult result_;
  bool stopped_ = false;
  bool started_ = false;
  std::set<fs::path> swept_;         // each folder once: a sweep per record costs the square
  std::map<fs::path, bool> linked_;  // each folder's answer of throughLink, once
};

// Whether `folder`, below `base`, leads elsewhere than its path says: a
// folder of the site swapped for a link since the run would carry the
// change out of the site.
bool Undo::throughLink(const fs::path& base, const fs::path& folder) {
  if (const auto known = linked_.find(folder); known != linked_.end()) return known->second;
  // The base itself may be a link: only what lies below it is the run's.
  const fs::path below = folder.lexically_relative(base);
  if (below.empty() || below == ".") return false;
  std::error_code ec;
  const fs::path expected = (fs::weakly_canonical(base, ec) / below).lexically_normal();
  const bool linked = fs::weakly_canonical(folder, ec) != expected || ec;
  return linked_.emplace(folder, linked).first->second;
}

void Undo::sweep(const fs::path& folder) {
  if (swept_.insert(folder).second) sweepTemporaryFiles(folder);
}

// Where the run kept the file's old bytes: in the journal, or where the
// journal's file system could not link them, beside the file in the one
// folder the run may name there.
std::optional<fs::path> Undo::keptCopy(const journal::Replace& record) const {
  const fs::path inJournal = journal_ / "files" / record.backup;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(inJournal, ec)) || record.keptBeside.empty()) return inJournal;
  const fs::path beside = platform::keptBesideFolder(record.path, journal_.filename().string());
  if (fs::path(record.keptBeside) != beside) return std::nullopt;
  return beside / record.backup;
}

void Undo::notUndone(const std::string& what, const std::string& why) {
  result_.notUndone.push_back(what + ": " + why);
  log_.writeLine("Not undone -> " + what + ": " + why);
}

// What the run left at `path`: as it noted it, else the package's file.
std::optional<Fingerprint> Undo::expectedNew(const std::string& path,
                                             const std::string& source) const {
  if (const auto it = placed_.find(path); it != placed_.end()) return it->second;
  return fingerprintIfThere(source);
}

// A file changed after the run is not lost: it is saved first, and named.
bool Undo::saveIfChanged(const fs::path& file, const std::optional<Fingerprint>& expected) {
  const auto now = fingerprintIfThere(file);
  if (!now || (expected && *now == *expected)) return true;
  fs::path relative = file.lexically_relative(instMainDir_);
  if (relative.empty() || *relative.begin() == "..") relative = file.relative_path();
  fs::path saved;
  try {
    saved = savedRoot() / relative;
    fs::create_directories(saved.parent_path());
    services_.files.copyToNew(file, saved);
  } catch (const std::exception& e) {
    notUndone(file.string(),
              std::string("it changed after the run and cannot be saved: ") + e.what());
    return false;
  }
  result_.saved.push_back(file.string());
  log_.writeLine("Saved first, it changed after the run -> " + file.string() + " (saved as " +
                 saved.string() + ")");
  return true;
}

// A folder of this undo's own: another undo in the same second, of this
// program or another, has saved into the folder of that name already.
const fs::path& Undo::savedRoot() {
  if (savedRoot_) return *savedRoot_;
  fs::create_directories(savedFolder_.parent_path());
  for (int n = 1; n <= 1000; ++n) {
    fs::path candidate = savedFolder_;
    if (n > 1) candidate += " (" + std::to_string(n) + ")";
    if (fs::create_directory(candidate)) {  // throws when it cannot be made at all
      platform::makePrivate(candidate);
      return savedRoot_.emplace(std::move(candidate));
    }
  }
  throw std::runtime_error("1000 folders named " + savedFolder_.string() + " exist already");
}

// A copy kept beside the file (where the journal could not link it) is the
// run's own and lies in the site: it goes when the file needs it no more, and
// the hidden folders with it once they hold nothing else.
void Undo::dropKeptCopy(const fs::path& backup) {
  const fs::path run = backup.parent_path();
  if (run.parent_path().filename() != ".qsi-kept") return;  // the journal's own files/
  std::error_code ec;
  fs::remove(backup, ec);
  if (fs::remove(run, ec)) fs::remove(run.parent_path(), ec);
}

void Undo::restore(const journal::Replace& record) {
  const fs::path path(record.path);
  const auto where = keptCopy(record);
  if (!where) {
    notUndone(path.string(), "its kept copy lies in " +
                                 platform::escapeControls(record.keptBeside) +
                                 ", no folder of the run's beside the file");
    return;
  }
  const fs::path& backup = *where;
  // The hidden folders beside the file are read as they were made: no link.
  if (backup.parent_path().parent_path().filename() == ".qsi-kept")
    for (const fs::path& folder : {backup.parent_path().parent_path(), backup.parent_path()})
      if (const auto problem = platform::untrustedBy(folder)) {
        notUndone(path.string(),
                  "its kept copy's folder " + platform::displayPath(folder) + ": " + *problem);
        return;
      }
  const Fingerprint& old = record.old;
  sweep(path.parent_path());
  const auto kept = fingerprintIfThere(backup);
  const auto now = fingerprintIfThere(path);
  if (now && *now == old) {  // never replaced, or put back already
    dropKeptCopy(backup);
    return;
  }
  if (!kept) {
    notUndone(path.string(), "its old bytes were not kept");
    return;
  }
  if (*kept != old) {
    notUndone(path.string(), "its kept old bytes do not match the checksum recorded for them");
    return;
  }
  if (!saveIfChanged(path, expectedNew(record.path, record.source))) return;
  try {
    services_.files.putBack(backup, path);
    if (const auto attributes = platform::parseAttributes(record.attributes))
      platform::applyAttributes(path, *attributes);
    dropKeptCopy(backup);
    ++result_.restored;
    log_.writeLine("Restored -> " + path.string());
  } catch (const std::exception& e) {
    notUndone(path.string(), platform::reasonOf(e));
  }
}

void Undo::remove(const journal::Create& record) {
  const fs::path path(record.path);
  sweep(path.parent_path());
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) return;
  if (!saveIfChanged(path, expectedNew(record.path, record.source))) return;
  if (fs::remove(path, ec)) {
    ++result_.removed;
    log_.writeLine("Removed -> " + path.string());
  } else {
    notUndone(path.string(), platform::systemReason(ec));
  }
}

// A key the run made goes when it holds nothing the run did not write; only
// the installer's own key and the COM registrar's are the run's to remove,
// as the journal lies where others can write.
void Undo::removeKey(const std::string& key) {
  if (!site::isInstallerKey(key) &&
      !platform::isKeyOrBelow(key, platform::RegistryComRegistrar::kRegistrarKey)) {
    notUndone(key, "it lies outside the installer's own key: the run made no such key");
    return;
  }
  try {
    const auto subKeys = env_.registry.subKeys(key);
    if (!subKeys) return;  // never made, or removed already
    const auto values = env_.registry.valueNames(key);
    if (!subKeys->empty() || (values && !values->empty())) {
      log_.writeLine("Registry key kept, it holds what the run did not write -> " + key);
      return;
    }
    (void)env_.registry.deleteKey(key);
    log_.writeLine("Registry key removed -> " + key);
  } catch (const std::exception& e) {
    notUndone(key, e.what());
  }
}

void Undo::removeFolder(const journal::Mkdir& record) {
  const fs::path folder(record.folder);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return;
  sweep(folder);
  if (fs::is_empty(folder, ec) && fs::remove(folder, ec)) {
    ++result_.removed;
    log_.writeLine("Removed the folder -> " + folder.string());
  } else {
    notUndone(folder.string(),
              ec ? platform::systemReason(ec) : "the folder holds files the run did not make");
  }
}

void Undo::putBack(const journal::RegistryValue& record) {
  const std::string& key = record.key;
  const std::string& name = record.name;
  // The run writes the suite's keys and the installer's own, nothing else.
  if (!platform::isKeyOrBelow(key, site::kRootKey) && !site::isInstallerKey(key)) {
    notUndone(key + " " + name,
              "it lies outside the suite's and the installer's keys: the "
              "run wrote no such value");
    return;
  }
  try {
    if (record.oldRaw)
      (void)env_.registry.writeRawValue(key, name, *record.oldRaw);
    else if (record.existed)
      (void)env_.registry.writeValue(key, name, record.old);
    else
      (void)env_.registry.deleteValue(key, name);
    log_.writeLine("Registry value put back -> " + key + " " + name);
  } catch (const std::exception& e) {
    notUndone(key + " " + name, e.what());
  }
}

void Undo::putBack(const journal::Com& record) {
  const fs::path dll(record.dll);
  if (!platform::liesBelow(instMainDir_, dll)) {
    notUndone(record.dll, "it lies outside the site: the run registers no such DLL");
    return;
  }
  // Put back as it was before the call: registered, or not.
  if (record.wasRegistered == record.registering) return;
  try {
    try {
      registerCOMComponent(services_.com, dll, !record.registering);
    } catch (const platform::ServiceUnavailable&) {
      // No registrar on this machine: the run changed nothing there either.
    }
    log_.writeLine("COM registration put back -> " + dll.string());
  } catch (const std::exception& e) {
    notUndone(dll.string(), "its COM registration cannot be put back: " + std::string(e.what()));
  }
}

void Undo::putBack(const journal::Mts& record) {
  if (!platform::liesBelow(instMainDir_, record.dll)) {
    notUndone(record.package + " " + record.dll,
              "it lies outside the site: the run installs no such DLL");
    return;
  }
  try {
    restorePackageComponents(services_.mts, record.package, record.dll, record.before);
    log_.writeLine("MTS package put back -> " + record.package + " " + record.dll);
  } catch (const std::exception& e) {
    notUndone(record.package + " " + record.dll, e.what());
  }
}

// The journal lies in the site, where others can write: a file record
// naming a path outside the site and the Windows folder is not the run's.
void Undo::undoFile(const Record& record, const std::string& path) {
  if (!platform::liesBelow(instMainDir_, path) &&
      !platform::liesBelow(platform::windowsFolder(), path)) {
    notUndone(path, "it lies outside the site: the run made no such change");
    return;
  }
  const fs::path folder = fs::path(path).parent_path();
  if (throughLink(
          platform::liesBelow(instMainDir_, path) ? instMainDir_ : platform::windowsFolder(),
          folder)) {
    notUndone(path, "its folder " + platform::displayPath(folder) +
                        " leads elsewhere, through a link made since the run; nothing is changed "
                        "there");
    return;
  }
  if (const auto* replace = std::get_if<journal::Replace>(&record)) {
    // A backup is a plain name in the run's own folder, or it could bring any file in.
    if (const auto problem = platform::nameProblem(replace->backup)) {
      notUndone(path, "its kept copy \"" + platform::escapeControls(replace->backup) +
                          "\" is no name in the run's journal: " + *problem);
      return;
    }
    restore(*replace);
  } else if (const auto* create = std::get_if<journal::Create>(&record)) {
    remove(*create);
  } else {
    removeFolder(std::get<journal::Mkdir>(record));
  }
}

void Undo::undo(const Record& record) {
  std::visit(
      [&](const auto& r) {
        using Kind = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<Kind, journal::Replace> ||
                      std::is_same_v<Kind, journal::Create>) {
          undoFile(record, r.path);
        } else if constexpr (std::is_same_v<Kind, journal::Mkdir>) {
          undoFile(record, r.folder);
        } else if constexpr (std::is_same_v<Kind, journal::RegistryValue> ||
                             std::is_same_v<Kind, journal::Com> ||
                             std::is_same_v<Kind, journal::Mts>) {
          putBack(r);
        } else if constexpr (std::is_same_v<Kind, journal::RegistryKey>) {
          removeKey(r.key);
        } else if constexpr (std::is_same_v<Kind, journal::ServicesStopped>) {
          stopped_ = true;
        } else if constexpr (std::is_same_v<Kind, journal::ServicesStarted>) {
          started_ = true;
        } else if constexpr (std::is_same_v<Kind, journal::Script>) {
          result_.notReversed.push_back("SQL script " + r.name + " on " + r.database);
        } else if constexpr (std::is_same_v<Kind, journal::Metabase>) {
          result_.notReversed.push_back("Metabase: " + r.statement);
        }
      },
      record);
}

UndoResult Undo::run(std::string_view run) {
  // Read through the folders opened and checked: not a link put there since.
  std::string why;
  const auto opened = openRun(instMainDir_, std::string(run), why);
  const auto text = opened ? readOfRun(*opened, Journal::fileOf(journal_), why) : std::nullopt;
  if (!why.empty()) {
    notUndone("the journal of the run " + platform::escapeControls(run),
              platform::escapeControls(why) + "; nothing is undone");
    log_.close();
    return result_;
  }
  const journal::Contents contents = Journal::parse(text.value_or(""));
  const std::vector<Record>& records = contents.records;
  for (const Record& record : records)
    if (const auto* placed = std::get_if<journal::Placed>(&record))
      placed_[placed->path] = placed->fingerprint;
  log_.writeSection("Undo of the run " + std::string(run));
  // A torn record told a change that never took effect; a forged one is
  // followed in nothing.
  for (const std::string& torn : contents.torn)
    log_.writeLine("Skipped -> " + platform::escapeControls(run) + " " + torn);
  // An altered one may have told a change that took effect: the run cannot
  // count as undone while what it told is not known.
  for (const std::string& altered : contents.altered)
    notUndone("the journal of the run " + platform::escapeControls(run) + ", " + altered,
              "what it told is not known; the run is not marked undone");
  for (const std::string& refused : contents.refused)
    notUndone("the journal of the run " + platform::escapeControls(run) + ", " + refused,
              "it is no record the installer writes; nothing follows from it");
  // Whether the run left the services stopped is known before the first
  // record: an interrupted undo starts them again too.
  stopped_ = has<journal::ServicesStopped>(records);
  started_ = has<journal::ServicesStarted>(records);
  bool interrupted = false;
  for (auto it = records.rbegin(); it != records.rend() && !interrupted; ++it) {
    interrupted = platform::interruptRequest() != 0;
    if (!interrupted) undo(*it);
  }
  if (interrupted)
    notUndone("the run " + platform::escapeControls(run),
              "the undo was interrupted; --undo again takes it up where it stopped");
  if (stopped_ && !started_)
    startNTServices(env_, services_.commands,
                    "The undone run had stopped the services; they are started again.");
  if (!result_.notReversed.empty()) {
    log_.writeSection("Not undone: the scripts that ran and the Metabase rows written");
    for (const std::string& line : result_.notReversed) log_.writeLine(line);
  }
  log_.writeSection(result_.complete() ? "The run is undone" : "The run is undone in part");
  log_.close();
  // The renames durable, each folder flushed once, before the run counts as undone.
  for (const fs::path& folder : swept_) platform::syncFile(folder);
  // Not undone: a later undo goes on from there.
  if (interrupted || !contents.altered.empty()) return result_;
  Journal journal(journal_, platform::filesOf(env_));
  journal.write(journal::Undone{env_.stamp.installDateText});
  return result_;
}

// The copies a run kept beside the files it replaced, where the journal's
// file system could not link them, as its replace records name them: each
// goes, and its hidden folders once they hold nothing else. A record that
// names no folder of the run's beside its file, below the site, is passed
// over: the journal is outside input.
void dropKeptCopies(const fs::path& instMainDir, const std::string& run) {
  std::string why;
  const auto opened = openRun(instMainDir, run, why);
  const auto text =
      opened ? readOfRun(*opened, Journal::fileOf(opened->path()), why) : std::nullopt;
  if (!text) return;
  for (const Record& record : Journal::parse(*text).records) {
    const auto* replace = std::get_if<journal::Replace>(&record);
    if (replace == nullptr || replace->keptBeside.empty() ||
        platform::nameProblem(replace->backup) ||
        (!platform::liesBelow(instMainDir, replace->path) &&
         !platform::liesBelow(platform::windowsFolder(), replace->path)))
      continue;
    const fs::path beside = platform::keptBesideFolder(replace->path, run);
    if (fs::path(replace->keptBeside) != beside || platform::untrustedBy(beside.parent_path()) ||
        platform::untrustedBy(beside))
      continue;
    std::error_code ec;
    fs::remove(beside / replace->backup, ec);
    if (fs::remove(beside, ec)) fs::remove(beside.parent_path(), ec);
  }
}

}  // namespace

std::string undoSummary(std::string_view run, const UndoResult& result, const fs::path& log) {
  const std::string line(platform::kCrLf);
  std::string text = "The changes made by the run of " + std::string(run) +
                     " are undone: " + std::to_string(result.restored) + " files put back, " +
                     std::to_string(result.removed) + " files and folders removed.";
  for (const std::string& file : result.saved)
    text += line + "Changed after the run, saved first: " + file;
  for (const std::string& what : result.notUndone) text += line + "Not undone: " + what;
  if (!result.notReversed.empty())
    text += line + std::to_string(result.notReversed.size()) +
            " scripts run and Metabase rows written are not undone; the log lists them.";
  return text + line + "The log: " + platform::displayPath(log);
}

fs::path journalFolder(const fs::path& instMainDir, std::string_view run) {
  return journalRoot(instMainDir) / std::string(run);
}

std::optional<std::string> journalRootRefusal(const fs::path& instMainDir) {
  std::string why;
  (void)platform::TrustedFolder::open(journalRoot(instMainDir), why);
  if (why.empty()) return std::nullopt;
  return "The journals of the site are not read: " +
         platform::escapeControls(platform::displayPath(journalRoot(instMainDir))) + ": " + why +
         ".";
}

UndoResult undoRun(const platform::Environment& env, const ActionServices& services,
                   const fs::path& instMainDir, std::string_view run, const fs::path& savedFolder) {
  Undo undo(env, services, instMainDir, journalFolder(instMainDir, run), savedFolder);
  return undo.run(run);
}

std::vector<std::string> unfinishedRuns(const fs::path& instMainDir) {
  std::vector<std::string> runs;
  for (const Listed& run : runsWithChanges(instMainDir).runs)
    if (run.state.status == journal::Status::Open) runs.push_back(run.name);
  return runs;
}

std::optional<std::string> lastRun(const fs::path& instMainDir) {
  for (const Listed& run : runsWithChanges(instMainDir).runs)
    if (run.state.status != journal::Status::Undone) {
      if (run.state.status == journal::Status::Pruned) break;  // nothing newer to undo
      return run.name;
    }
  return std::nullopt;
}

std::optional<std::string> undoRefusal(const fs::path& instMainDir, std::string_view run) {
  const Listing listing = runsWithChanges(instMainDir);
  const std::string named = platform::escapeControls(run);
  if (listing.rootRefused)
    return "The run " + named +
           " is not undone: " + platform::escapeControls(*listing.rootRefused) + ".";
  for (const auto& [name, why] : listing.refused)
    if (name == run)
      return "The run " + named + " is not undone: " + platform::escapeControls(why) + ".";
  std::vector<std::string> later;
  for (const Listed& each : listing.runs) {
    if (each.name == run) {
      if (each.state.status == journal::Status::Pruned)
        return "The run " + named +
               " was pruned: its journal and saved files are no longer kept, so it cannot be "
               "undone.";
      if (each.state.status == journal::Status::Undone)
        return "The run " + named + " is undone already; it is not undone again.";
      if (later.empty()) return std::nullopt;
      std::string names;
      for (const std::string& one : later) names += (names.empty() ? "" : ", ") + one;
      return "The run " + named + " is not undone while later runs stand; undo " +
             (later.size() == 1 ? "it" : "them") + " first, newest first: " + names + ".";
    }
    if (each.state.status != journal::Status::Undone &&
        each.state.status != journal::Status::Pruned)
      later.push_back(platform::escapeControls(each.name));
  }
  return std::nullopt;  // no changes: nothing for the undo to take away
}

std::vector<std::string> refusedRuns(const fs::path& instMainDir) {
  std::vector<std::string> refused;
  for (const auto& [name, why] : runsWithChanges(instMainDir).refused)
    refused.push_back(platform::escapeControls(name) + ": " + platform::escapeControls(why));
  return refused;
}

std::vector<std::string> pruneRuns(const fs::path& instMainDir, std::size_t keep) {
  std::vector<std::string> pruned;
  std::size_t kept = 0;
  for (const Listed& run : runsWithChanges(instMainDir).runs) {
    if (run.state.status == journal::Status::Pruned) continue;
    if (++kept <= keep || run.state.status == journal::Status::Open) continue;
    // The marker stays, saying so: an undo of the run is told it was pruned.
    const fs::path folder = journalFolder(instMainDir, run.name);
    journal::RunState state = run.state;
    state.status = journal::Status::Pruned;
    if (state.sequence == 0) continue;  // an earlier version's journal: kept as it is
    std::error_code ec;
    try {
      journal::writeState(folder, state);
    } catch (const std::system_error&) {
      continue;
    }
    dropKeptCopies(instMainDir, run.name);
    for (const auto& item : fs::directory_iterator(folder, ec))
      if (item.path().filename() != journal::stateFileOf(folder).filename())
        fs::remove_all(item.path(), ec);
    pruned.push_back(run.name);
  }
  return pruned;
}

}  // namespace qsi::actions
