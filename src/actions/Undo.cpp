#include "actions/Undo.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <ctime>
#include <iomanip>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "actions/Components.h"
#include "actions/FileInstallation.h"
#include "actions/Services.h"
#include "actions/StepLog.h"
#include "checksum/Checksum.h"
#include "journal/Journal.h"
#include "journal/RunState.h"
#include "platform/ComRegistrar.h"
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

// What a record's target holds now against what the run left there.
enum class Verdict {
  Step,      // as the run left it: undo puts it back
  Nothing,   // as it was before the run: never changed, or put back already
  Conflict,  // changed after the run: left as it is
  Problem,   // the record cannot be followed
};

struct Checked {
  Verdict verdict = Verdict::Nothing;
  std::string why;  // it conflicts or cannot be undone
};

// A path as records of one file are matched: Windows names a file in any case.
std::string pathKey(const fs::path& path) {
  std::string key = path.lexically_normal().string();
#ifdef _WIN32
  key = platform::toLower(key);
#endif
  return key;
}

// What each record's target is: records of one target are undone together,
// the newest telling what the run left there.
std::string targetOf(const Record& record) {
  return std::visit(
      [](const auto& r) -> std::string {
        using Kind = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<Kind, journal::Replace> ||
                      std::is_same_v<Kind, journal::Create>)
          return "file\t" + pathKey(r.path);
        else if constexpr (std::is_same_v<Kind, journal::Mkdir>)
          return "file\t" + pathKey(r.folder);
        else if constexpr (std::is_same_v<Kind, journal::RegistryValue>)
          return "value\t" + r.key + "\t" + r.name;
        else if constexpr (std::is_same_v<Kind, journal::RegistryKey>)
          return "key\t" + r.key;
        else if constexpr (std::is_same_v<Kind, journal::Com>)
          return "com\t" + platform::toLower(r.dll);
        else if constexpr (std::is_same_v<Kind, journal::Mts>)
          return "mts\t" + r.package + "\t" + platform::toLower(r.dll);
        else
          return {};
      },
      record);
}

// When the run that wrote `date` ("yyyy-mm-dd hh:mm:ss", local time) began,
// at the latest; the earliest time when the date cannot be read, so that
// every link counts as made since.
std::chrono::system_clock::time_point beganAt(const std::string& date) {
  std::tm when{};
  std::istringstream in(date);
  in >> std::get_time(&when, "%Y-%m-%d %H:%M:%S");
  when.tm_isdst = -1;
  const std::time_t t = in.fail() ? std::time_t(-1) : std::mktime(&when);
  // The date drops the fraction of its second: what was made in that second
  // may have come before the run.
  return t == std::time_t(-1) ? std::chrono::system_clock::time_point::min()
                              : std::chrono::system_clock::from_time_t(t) + std::chrono::seconds(1);
}

// Where a restore of an MTS package notes the list it puts back before it
// removes anything: the catalog holds the components after the first
// difference nowhere until they are installed again.
constexpr std::string_view kTakenComponents = "mts-taken";

// The list a restore of `package` cut short was putting back, as it noted
// it in the run's folder; empty when there is none. The note lies where the
// journal lies: a path in it that is neither below the site nor in the
// package's list before the run (`before`) is passed over.
std::vector<std::string> takenComponents(const fs::path& journal, const fs::path& instMainDir,
                                         std::string_view package,
                                         const std::vector<std::string>& before) {
  std::vector<std::string> taken;
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(journal / kTakenComponents, ec))) return taken;
  const std::vector<std::string> lines =
      platform::split(platform::readFileBytes(journal / kTakenComponents), '\n');
  if (lines.empty() || lines.front() != package) return taken;
  for (std::size_t i = 1; i < lines.size(); ++i)
    if (!lines[i].empty() &&
        (platform::liesBelow(instMainDir, lines[i]) ||
         std::any_of(before.begin(), before.end(), [&](const std::string& listed) {
           return platform::toLower(listed) == platform::toLower(lines[i]);
         })))
      taken.push_back(lines[i]);
  return taken;
}

// Checks records against the site and changes nothing: the plan asks it of
// every record, and the undo again of each target's newest record just
// before it changes the target, as the site may have changed in between.
class Checker {
 public:
  Checker(const platform::Environment& env, const ActionServices& services, fs::path instMainDir,
          fs::path journal, const std::vector<Record>& records)
      : env_(env),
        services_(services),
        instMainDir_(std::move(instMainDir)),
        journal_(std::move(journal)),
        began_(beganAt(dateOf(records))) {
    for (const Record& record : records)
      if (const auto* placed = std::get_if<journal::Placed>(&record))
        placed_[placed->path] = placed->fingerprint;
  }

  // `removing`: the files and folders that steps before this one remove, by pathKey.
  [[nodiscard]] Checked check(const Record& record, const std::set<std::string>& removing) const;
  [[nodiscard]] std::optional<fs::path> keptCopy(const journal::Replace& record) const;

 private:
  [[nodiscard]] std::optional<std::string> outsideSite(const std::string& path) const;
  [[nodiscard]] std::optional<std::string> throughLink(const std::string& path) const;
  [[nodiscard]] bool throughLink(const fs::path& base, const fs::path& folder) const;
  [[nodiscard]] Checked checkFile(const journal::Replace& record) const;
  [[nodiscard]] Checked checkFile(const journal::Create& record) const;
  [[nodiscard]] Checked checkFolder(const journal::Mkdir& record,
                                    const std::set<std::string>& removing) const;
  [[nodiscard]] Checked check(const journal::RegistryValue& record) const;
  [[nodiscard]] Checked check(const journal::RegistryKey& record) const;
  [[nodiscard]] Checked check(const journal::Com& record) const;
  [[nodiscard]] Checked check(const journal::Mts& record) const;
  [[nodiscard]] Checked leftByRun(const std::string& path, const std::string& source,
                                  const Fingerprint& now) const;

  const platform::Environment& env_;
  const ActionServices& services_;
  const fs::path instMainDir_;
  const fs::path journal_;
  std::map<std::string, Fingerprint> placed_;  // what the run put at each path
  // When the run began: a link made since is not the administrator's.
  const std::chrono::system_clock::time_point began_;
  // Each folder's answer of throughLink, asked once: a check per record
  // would cost the square of a folder's files.
  mutable std::map<fs::path, bool> linked_;
};

// The journal lies in the site, where others can write: a file record
// naming a path outside the site and the Windows folder is not the run's.
std::optional<std::string> Checker::outsideSite(const std::string& path) const {
  // The Windows folder itself too: a run on a machine that lacks it makes it.
  const fs::path windows = platform::windowsFolder();
  if (platform::liesBelow(instMainDir_, path) || platform::liesBelow(windows, path) ||
      fs::path(path).lexically_normal() == windows.lexically_normal())
    return std::nullopt;
  return "it lies outside the site: the run made no such change";
}

// Whether `folder`, below `base`, leads elsewhere than its path says: a
// folder of the site swapped for a link since the run would carry the
// change out of the site.
bool Checker::throughLink(const fs::path& base, const fs::path& folder) const {
  if (const auto known = linked_.find(folder); known != linked_.end()) return known->second;
  // The base itself may be a link: only what lies below it is the run's. A
  // link that was there when the run began is the administrator's: the run
  // followed it too.
  const fs::path below = folder.lexically_relative(base);
  bool linked = false;
  fs::path at = base;
  if (!below.empty() && *below.begin() != "..")
    for (const fs::path& part : below)
      if (part != "." && (linked = platform::isLinkMadeSince(at /= part, began_))) break;
  return linked_.emplace(folder, linked).first->second;
}

// Why a file record's folder is not where its path says, or nothing.
std::optional<std::string> Checker::throughLink(const std::string& path) const {
  const fs::path folder = fs::path(path).parent_path();
  const fs::path& base =
      platform::liesBelow(instMainDir_, path) ? instMainDir_ : platform::windowsFolder();
  if (!throughLink(base, folder)) return std::nullopt;
  return "its folder " + platform::displayPath(folder) +
         " leads elsewhere, through a link made since the run; nothing is changed there";
}

// Where the run kept the file's old bytes: in the journal, or where the
// journal's file system could not link them, beside the file in the one
// folder the run may name there.
std::optional<fs::path> Checker::keptCopy(const journal::Replace& record) const {
  const fs::path inJournal = journal_ / "files" / record.backup;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(inJournal, ec)) || record.keptBeside.empty()) return inJournal;
  const fs::path beside = platform::keptBesideFolder(record.path, journal_.filename().string());
  if (fs::path(record.keptBeside) != beside) return std::nullopt;
  return beside / record.backup;
}

// Whether the file holds what the run left at `path`: the bytes it noted
// placing there. A journal of an earlier version noted only a CRC-16, which
// one file in 65,536 shares: the package's file, read now, stands in for
// it, as the run copied exactly that; a package changed since makes a
// conflict, never a blind restore.
Checked Checker::leftByRun(const std::string& path, const std::string& source,
                           const Fingerprint& now) const {
  std::optional<Fingerprint> expected;
  if (const auto it = placed_.find(path); it != placed_.end() && it->second.crc32c)
    expected = it->second;
  else
    expected = fingerprintIfThere(source);
  if (expected && checksum::sameBytes(now, *expected)) return {Verdict::Step, {}};
  return {Verdict::Conflict, "changed after the run"};
}

Checked Checker::checkFile(const journal::Replace& record) const {
  // A backup is a plain name in the run's own folder, or it could bring any file in.
  if (const auto problem = platform::nameProblem(record.backup))
    return {Verdict::Problem, "its kept copy \"" + platform::escapeControls(record.backup) +
                                  "\" is no name in the run's journal: " + *problem};
  const auto where = keptCopy(record);
  if (!where)
    return {Verdict::Problem, "its kept copy lies in " +
                                  platform::escapeControls(record.keptBeside) +
                                  ", no folder of the run's beside the file"};
  // The hidden folders beside the file are read as they were made: no link.
  if (where->parent_path().parent_path().filename() == ".qsi-kept")
    for (const fs::path& folder : {where->parent_path().parent_path(), where->parent_path()})
      if (const auto problem = platform::untrustedBy(folder))
        return {Verdict::Problem,
                "its kept copy's folder " + platform::displayPath(folder) + ": " + *problem};
  const auto kept = fingerprintIfThere(*where);
  const auto now = fingerprintIfThere(record.path);
  // Never replaced, or put back already (which takes the kept copy): taken
  // so, the file is left as it is, so a CRC-16 alone may decide it.
  const Fingerprint& old = record.old;
  if (now && ((kept && checksum::sameBytes(*now, *kept)) ||
              (now->size == old.size && now->crc == old.crc &&
               (!old.crc32c || now->crc32c == old.crc32c))))
    return {};
  if (!kept) return {Verdict::Problem, "its old bytes were not kept"};
  // The kept copy is the journal's own: the CRC-32C the run noted, where it
  // noted one, proves it.
  if (kept->size != record.old.size || kept->crc != record.old.crc ||
      (record.old.crc32c && kept->crc32c != record.old.crc32c))
    return {Verdict::Problem, "its kept old bytes do not match the checksum recorded for them"};
  if (!now) return {Verdict::Conflict, "removed after the run"};
  return leftByRun(record.path, record.source, *now);
}

Checked Checker::checkFile(const journal::Create& record) const {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(record.path, ec))) return {};  // never made, or removed
  const auto now = fingerprintIfThere(record.path);
  if (!now) return {Verdict::Conflict, "no file the run made lies there now"};
  return leftByRun(record.path, record.source, *now);
}

Checked Checker::checkFolder(const journal::Mkdir& record,
                             const std::set<std::string>& removing) const {
  const fs::path folder(record.folder);
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(folder, ec))) return {};
  for (const auto& item : fs::directory_iterator(folder, ec))
    if (!platform::isTemporaryFileName(item.path().filename().string()) &&
        !removing.contains(pathKey(item.path())))
      return {Verdict::Conflict, "the folder holds files the run did not make"};
  if (ec) return {Verdict::Problem, platform::systemReason(ec)};
  return {Verdict::Step, {}};
}

Checked Checker::check(const journal::RegistryValue& record) const {
  // The run writes the suite's keys and the installer's own, nothing else.
  if (!platform::isKeyOrBelow(record.key, site::kRootKey) && !site::isInstallerKey(record.key))
    return {Verdict::Problem,
            "it lies outside the suite's and the installer's keys: the run wrote no such value"};
  const auto now = env_.registry.readValue(record.key, record.name);
  if (now == record.now) return {Verdict::Step, {}};
  const bool before =
      record.oldRaw    ? env_.registry.readRawValue(record.key, record.name) == record.oldRaw
      : record.existed ? now == record.old
                       : !now && !env_.registry.readRawValue(record.key, record.name);
  if (before) return {};
  return {Verdict::Conflict, "changed after the run"};
}

Checked Checker::check(const journal::RegistryKey& record) const {
  // Only the installer's own key and the COM registrar's are the run's to remove.
  if (!site::isInstallerKey(record.key) &&
      !platform::isKeyOrBelow(record.key, platform::RegistryComRegistrar::kRegistrarKey))
    return {Verdict::Problem, "it lies outside the installer's own key: the run made no such key"};
  if (!env_.registry.subKeys(record.key)) return {};  // never made, or removed already
  return {Verdict::Step, {}};
}

Checked Checker::check(const journal::Com& record) const {
  if (!platform::liesBelow(instMainDir_, record.dll))
    return {Verdict::Problem, "it lies outside the site: the run registers no such DLL"};
  if (record.wasRegistered == record.registering) return {};  // the run changed nothing
  // A registration has two states, and the undo brings back the one before
  // the run, whatever it is now: that overwrites no one's change, and a
  // registrar killed halfway (a key without its value, which reads as not
  // registered) is cleared only so. The DLL is a file, checked on its own.
  return {Verdict::Step, {}};
}

Checked Checker::check(const journal::Mts& record) const {
  if (!platform::liesBelow(instMainDir_, record.dll))
    return {Verdict::Problem, "it lies outside the site: the run installs no such DLL"};
  const auto components = packageComponents(services_.mts, record.package);
  if (!components) return {};  // no package: nothing to put back into
  // A restore cut short took components out: while one is missing, it is
  // carried out again, whatever the DLL's place.
  for (const std::string& taken :
       takenComponents(journal_, instMainDir_, record.package, record.before))
    if (std::find(components->begin(), components->end(), taken) == components->end())
      return {Verdict::Step, {}};
  const std::string dll = platform::toLower(record.dll);
  const auto holds = [&](const std::vector<std::string>& list) {
    return std::any_of(list.begin(), list.end(),
                       [&](const std::string& path) { return platform::toLower(path) == dll; });
  };
  const bool now = holds(*components);
  if (now == record.installing) return {Verdict::Step, {}};
  if (now == holds(record.before)) return {};
  return {Verdict::Conflict, "the package's components changed after the run"};
}

Checked Checker::check(const Record& record, const std::set<std::string>& removing) const {
  return std::visit(
      [&](const auto& r) -> Checked {
        using Kind = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<Kind, journal::Replace> ||
                      std::is_same_v<Kind, journal::Create>) {
          if (const auto outside = outsideSite(r.path)) return {Verdict::Problem, *outside};
          if (const auto linked = throughLink(r.path)) return {Verdict::Problem, *linked};
          return checkFile(r);
        } else if constexpr (std::is_same_v<Kind, journal::Mkdir>) {
          if (const auto outside = outsideSite(r.folder)) return {Verdict::Problem, *outside};
          if (const auto linked = throughLink(r.folder)) return {Verdict::Problem, *linked};
          return checkFolder(r, removing);
        } else if constexpr (std::is_same_v<Kind, journal::RegistryValue> ||
                             std::is_same_v<Kind, journal::RegistryKey> ||
                             std::is_same_v<Kind, journal::Com> ||
                             std::is_same_v<Kind, journal::Mts>) {
          return check(r);
        } else {
          return {};
        }
      },
      record);
}

// What undoing the record does, as the plan names it.
std::string verbOf(const Record& record) {
  return std::visit(
      [](const auto& r) -> std::string {
        using Kind = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<Kind, journal::Replace>)
          return "put back";
        else if constexpr (std::is_same_v<Kind, journal::Create>)
          return "remove";
        else if constexpr (std::is_same_v<Kind, journal::Mkdir>)
          return "remove the folder";
        else if constexpr (std::is_same_v<Kind, journal::RegistryValue>)
          return r.existed ? "put back" : "remove";
        else if constexpr (std::is_same_v<Kind, journal::RegistryKey>)
          return "remove, when it holds nothing else,";
        else if constexpr (std::is_same_v<Kind, journal::Com>)
          return r.registering ? "unregister" : "register again";
        else if constexpr (std::is_same_v<Kind, journal::Mts>)
          return r.installing ? "take out of its package" : "put back into its package";
        else
          return {};
      },
      record);
}

// What a step or a conflict is about, as the administrator reads it.
std::string nameOf(const Record& record) {
  return std::visit(
      [](const auto& r) -> std::string {
        using Kind = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<Kind, journal::Replace> ||
                      std::is_same_v<Kind, journal::Create>)
          return platform::escapeControls(r.path);
        else if constexpr (std::is_same_v<Kind, journal::Mkdir>)
          return platform::escapeControls(r.folder);
        else if constexpr (std::is_same_v<Kind, journal::RegistryValue>)
          return "registry value " + platform::escapeControls(r.key + " " + r.name);
        else if constexpr (std::is_same_v<Kind, journal::RegistryKey>)
          return "registry key " + platform::escapeControls(r.key);
        else if constexpr (std::is_same_v<Kind, journal::Com>)
          return "COM component " + platform::escapeControls(r.dll);
        else if constexpr (std::is_same_v<Kind, journal::Mts>)
          return "MTS package " + platform::escapeControls(r.package + " " + r.dll);
        else
          return {};
      },
      record);
}

std::string countOf(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// The plan as the installation plan is laid out: a head of counts, then
// each step, conflict and record that cannot be undone on a line of its own.
std::vector<std::string> planLines(const UndoPlan& plan, std::size_t maxSteps) {
  std::size_t shown = 0;
  for (const UndoStep& step : plan.steps) shown += step.text.empty() ? 0 : 1;
  std::vector<std::string> lines = {
      "Undo Plan",
      "The run of " + platform::escapeControls(plan.run),
      "",
      "Steps:            " + std::to_string(shown),
      "Conflicts:        " + countOf(plan.conflicts.size(), "left as it is", "left as they are"),
      "Not undone:       " + std::to_string(plan.notUndone.size()),
      std::string("Services:         ") +
          (plan.startsServices ? "started again, the run left them stopped" : "left as they are"),
      "Not reversed:     " + countOf(plan.notReversed.size(), "SQL script or Metabase row",
                                     "SQL scripts and Metabase rows")};
  if (shown > 0) lines.insert(lines.end(), {"", "Steps"});
  std::size_t listed = 0;
  for (const UndoStep& step : plan.steps) {
    if (step.text.empty()) continue;
    if (listed++ == maxSteps) {
      lines.push_back("  ... and " + std::to_string(shown - maxSteps) + " more, listed in the log");
      break;
    }
    lines.push_back("  " + step.text);
  }
  if (!plan.conflicts.empty()) lines.insert(lines.end(), {"", "Conflicts, left as they are"});
  for (const std::string& conflict : plan.conflicts) lines.push_back("  " + conflict);
  if (!plan.notUndone.empty()) lines.insert(lines.end(), {"", "Not undone"});
  for (const std::string& problem : plan.notUndone) lines.push_back("  " + problem);
  return lines;
}

// Carries out a plan's steps, newest record first, each target's first step
// checked again before it changes anything.
class Undo {
 public:
  Undo(const platform::Environment& env, const ActionServices& services, const UndoPlan& plan,
       fs::path instMainDir, fs::path journal)
      : env_(env),
        services_(services),
        plan_(plan),
        instMainDir_(instMainDir),
        checker_(env, services, std::move(instMainDir), journal, plan.records),
        journal_(std::move(journal)),
        log_(env, kUndoLog) {}

  UndoResult run();

 private:
  void carryOut(const UndoStep& step);
  void restore(const journal::Replace& record);
  void dropKeptCopy(const fs::path& backup);
  void remove(const journal::Create& record);
  void removeFolder(const journal::Mkdir& record);
  void putBack(const journal::RegistryValue& record);
  void putBack(const journal::Com& record);
  void putBack(const journal::Mts& record);
  void removeKey(const std::string& key);
  void sweep(const fs::path& folder);
  void notUndone(const std::string& what, const std::string& why);
  void conflict(const std::string& what, const std::string& why);

  const platform::Environment& env_;
  const ActionServices& services_;
  const UndoPlan& plan_;
  const fs::path instMainDir_;
  const Checker checker_;
  const fs::path journal_;
  StepLog log_;
  UndoResult result_;
  std::set<std::string> leftAlone_;  // targets found changed since the plan
  std::set<fs::path> swept_;         // each folder once: a sweep per record costs the square
};

void Undo::sweep(const fs::path& folder) {
  if (swept_.insert(folder).second) sweepTemporaryFiles(folder);
}

void Undo::notUndone(const std::string& what, const std::string& why) {
  result_.notUndone.push_back(what + ": " + why);
  log_.writeLine("Not undone -> " + what + ": " + why);
}

void Undo::conflict(const std::string& what, const std::string& why) {
  result_.conflicts.push_back(what + ": " + why);
  log_.writeLine("Left as it is, " + why + " -> " + what);
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
  const fs::path backup = *checker_.keptCopy(record);  // the plan found it
  sweep(path.parent_path());
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
  if (fs::remove(path, ec)) {
    ++result_.removed;
    log_.writeLine("Removed -> " + path.string());
  } else if (ec) {
    notUndone(path.string(), platform::systemReason(ec));
  }
}

// A key the run made goes when it holds nothing the run did not write.
void Undo::removeKey(const std::string& key) {
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
  } else if (ec) {
    notUndone(folder.string(), platform::systemReason(ec));
  } else {
    conflict(folder.string(), "the folder holds files the run did not make");
  }
}

void Undo::putBack(const journal::RegistryValue& record) {
  const std::string& key = record.key;
  const std::string& name = record.name;
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
  if (record.wasRegistered == record.registering) return;  // the run changed nothing
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
  try {
    const fs::path note = journal_ / kTakenComponents;
    restorePackageComponents(services_.mts, record.package, record.dll, record.before,
                             takenComponents(journal_, instMainDir_, record.package, record.before),
                             [&](const std::vector<std::string>& list) {
                               // Standing, the run is neither pruned nor
                               // taken as undone before the list is back.
                               if (journal::readState(journal_))
                                 journal::markStatus(journal_, journal::Status::Partial);
                               std::string text = record.package + "\n";
                               for (const std::string& path : list) text += path + "\n";
                               platform::writeFileAtomically(note, text);
                             });
    std::error_code ec;
    fs::remove(note, ec);
    log_.writeLine("MTS package put back -> " + record.package + " " + record.dll);
  } catch (const std::exception& e) {
    notUndone(record.package + " " + record.dll, e.what());
  }
}

void Undo::carryOut(const UndoStep& step) {
  const Record& record = plan_.records[step.record];
  const std::string target = targetOf(record);
  if (leftAlone_.contains(target)) return;
  // Folders are checked as they are emptied, below.
  if (step.checked && !std::holds_alternative<journal::Mkdir>(record)) {
    const Checked now = checker_.check(record, {});
    if (now.verdict != Verdict::Step) {
      leftAlone_.insert(target);
      if (now.verdict == Verdict::Conflict) conflict(nameOf(record), now.why);
      if (now.verdict == Verdict::Problem) notUndone(nameOf(record), now.why);
      if (now.verdict == Verdict::Nothing)
        if (const auto* replace = std::get_if<journal::Replace>(&record))
          dropKeptCopy(*checker_.keptCopy(*replace));
      return;
    }
  }
  std::visit(
      [&](const auto& r) {
        using Kind = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<Kind, journal::Replace>)
          restore(r);
        else if constexpr (std::is_same_v<Kind, journal::Create>)
          remove(r);
        else if constexpr (std::is_same_v<Kind, journal::Mkdir>)
          removeFolder(r);
        else if constexpr (std::is_same_v<Kind, journal::RegistryKey>)
          removeKey(r.key);
        else if constexpr (std::is_same_v<Kind, journal::RegistryValue> ||
                           std::is_same_v<Kind, journal::Com> || std::is_same_v<Kind, journal::Mts>)
          putBack(r);
      },
      record);
}

UndoResult Undo::run() {
  const std::string run = platform::escapeControls(plan_.run);
  log_.writeSection("Undo of the run " + run);
  for (const std::string& line : planLines(plan_, plan_.steps.size())) log_.writeLine(line);
  for (const std::string& torn : plan_.skipped) log_.writeLine("Skipped -> " + run + " " + torn);
  log_.writeSection("Carried out");
  result_.notUndone = plan_.notUndone;
  result_.conflicts = plan_.conflicts;
  result_.notReversed = plan_.notReversed;
  bool interrupted = false;
  for (auto it = plan_.steps.begin(); it != plan_.steps.end() && !interrupted; ++it) {
    interrupted = platform::interruptRequest() != 0;
    if (!interrupted) carryOut(*it);
  }
  if (interrupted)
    notUndone("the run " + run,
              "the undo was interrupted; --undo again takes it up where it stopped");
  if (plan_.startsServices) {
    // A request to end stops the records, never this: nothing else would
    // start the services the undone run left stopped.
    const platform::InterruptShield shield;
    try {
      startNTServices(env_, services_.commands,
                      "The undone run had stopped the services; they are started again.");
    } catch (const std::exception& e) {
      notUndone("the services the run stopped", platform::reasonOf(e));
    }
  }
  if (!result_.notReversed.empty()) {
    log_.writeSection("Not undone: the scripts that ran and the Metabase rows written");
    for (const std::string& line : result_.notReversed) log_.writeLine(line);
  }
  log_.writeSection(result_.complete() ? "The run is undone" : "The run is undone in part");
  log_.close();
  // The renames durable, each folder flushed once, before the run counts as undone.
  for (const fs::path& folder : swept_) platform::syncFile(folder);
  if (interrupted) return result_;  // not undone: a later undo goes on from there
  if (result_.complete()) {
    Journal journal(journal_, platform::filesOf(env_));
    journal.write(journal::Undone{env_.stamp.installDateText});
  } else if (journal::readState(journal_)) {
    // Undone in part, the run stands: a later undo takes it up, and earlier
    // runs wait for it. A journal without a marker stands as it is.
    journal::markStatus(journal_, journal::Status::Partial);
  }
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

UndoPlan planUndo(const platform::Environment& env, const ActionServices& services,
                  const fs::path& instMainDir, std::string_view run) {
  UndoPlan plan;
  plan.run = std::string(run);
  const fs::path folder = journalFolder(instMainDir, run);
  const std::string named = platform::escapeControls(run);
  // Read through the folders opened and checked: not a link put there since.
  std::string why;
  const auto opened = openRun(instMainDir, plan.run, why);
  const auto text = opened ? readOfRun(*opened, Journal::fileOf(folder), why) : std::nullopt;
  if (!why.empty()) {
    plan.notUndone.push_back("the journal of the run " + named + ": " +
                             platform::escapeControls(why) + "; nothing is undone");
    return plan;
  }
  journal::Contents contents = Journal::parse(text.value_or(""));
  plan.records = std::move(contents.records);
  // An altered record may have told a change that took effect: the run
  // cannot count as undone while what it told is not known.
  for (const std::string& altered : contents.altered)
    plan.notUndone.push_back("the journal of the run " + named + ", " + altered +
                             ": what it told is not known; the run is not marked undone");
  // A torn record told a change that never took effect; a forged one is
  // followed in nothing.
  plan.skipped = std::move(contents.torn);
  for (const std::string& refused : contents.refused)
    plan.notUndone.push_back("the journal of the run " + named + ", " + refused +
                             ": it is no record the installer writes; nothing follows from it");
  const Checker checker(env, services, instMainDir, folder, plan.records);
  std::map<std::string, Verdict> decided;  // per target, by its newest record
  std::set<std::string> removing;          // by pathKey
  bool stopped = false, started = false;
  for (std::size_t i = plan.records.size(); i-- > 0;) {
    const Record& record = plan.records[i];
    stopped = stopped || std::holds_alternative<journal::ServicesStopped>(record);
    started = started || std::holds_alternative<journal::ServicesStarted>(record);
    if (const auto* script = std::get_if<journal::Script>(&record))
      plan.notReversed.push_back("SQL script " + script->name + " on " + script->database);
    if (const auto* row = std::get_if<journal::Metabase>(&record))
      plan.notReversed.push_back("Metabase: " + row->statement);
    const std::string target = targetOf(record);
    if (target.empty()) continue;
    // An older record of a target whose newest is undone follows it; of one
    // left alone, it is left too; of one as before, it tells on its own.
    const auto seen = decided.find(target);
    if (seen != decided.end() && seen->second == Verdict::Step) {
      const auto* com = std::get_if<journal::Com>(&record);
      if (com == nullptr || com->wasRegistered != com->registering)
        plan.steps.push_back({i, verbOf(record) + " " + nameOf(record), false});
      continue;
    }
    if (seen != decided.end() && seen->second != Verdict::Nothing) continue;
    Checked checked = checker.check(record, removing);
    decided[target] = checked.verdict;
    if (checked.verdict == Verdict::Step) {
      plan.steps.push_back({i, verbOf(record) + " " + nameOf(record), true});
      if (std::holds_alternative<journal::Create>(record) ||
          std::holds_alternative<journal::Mkdir>(record))
        removing.insert(target.substr(target.find('\t') + 1));
    } else if (checked.verdict == Verdict::Conflict) {
      plan.conflicts.push_back(nameOf(record) + ": " + checked.why);
    } else if (checked.verdict == Verdict::Problem) {
      plan.notUndone.push_back(nameOf(record) + ": " + checked.why);
    } else if (std::holds_alternative<journal::Replace>(record)) {
      // Never replaced, or put back already: only its kept copy goes.
      plan.steps.push_back({i, {}, true});
      decided[target] = Verdict::Step;
    }
  }
  plan.startsServices = stopped && !started;
  return plan;
}

std::string undoPlanText(const UndoPlan& plan, std::size_t maxSteps) {
  std::string text;
  for (const std::string& line : planLines(plan, maxSteps))
    text += line + std::string(platform::kCrLf);
  return text;
}

std::string undoSummary(std::string_view run, const UndoResult& result, const fs::path& log) {
  const std::string line(platform::kCrLf);
  std::string text = "The changes made by the run of " + std::string(run) +
                     (result.complete() ? " are undone: " : " are undone in part: ") +
                     std::to_string(result.restored) + " files put back, " +
                     std::to_string(result.removed) + " files and folders removed.";
  for (const std::string& what : result.conflicts) text += line + "Left as it is: " + what;
  for (const std::string& what : result.notUndone) text += line + "Not undone: " + what;
  if (!result.notReversed.empty())
    text += line + std::to_string(result.notReversed.size()) +
            " scripts run and Metabase rows written are not undone; the log lists them.";
  if (!result.complete())
    text +=
        line + "The run still stands; --undo takes it up again once the conflicts are resolved.";
  return text + line + "The log: " + platform::displayPath(log);
}

fs::path journalFolder(const fs::path& instMainDir, std::string_view run) {
  return journalRoot(instMainDir) / std::string(run);
}

std::optional<std::string> prepareJournalRoot(const fs::path& instMainDir, bool& made) {
  const fs::path root = journalRoot(instMainDir);
  std::error_code ec;
  made = fs::create_directory(root, ec);
  // Never through a link; a folder of another user's stays as it is (refused below).
  if (fs::is_directory(fs::symlink_status(root, ec)))
    fs::permissions(root, fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove | fs::perm_options::nofollow, ec);
  return journalRootRefusal(instMainDir);
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
                   const fs::path& instMainDir, const UndoPlan& plan) {
  Undo undo(env, services, plan, instMainDir, journalFolder(instMainDir, plan.run));
  return undo.run();
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
  // A refused run may be a later one: what it installed would be taken away.
  if (!listing.refused.empty()) {
    std::string names;
    for (const auto& [name, why] : listing.refused)
      names += (names.empty() ? "" : "; ") + platform::escapeControls(name + " (" + why + ")");
    return "The run " + named +
           " is not undone while runs stand whose journals are refused, which may be later "
           "ones: " +
           names + ".";
  }
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
    if (++kept <= keep || run.state.status == journal::Status::Open ||
        run.state.status == journal::Status::Partial)
      continue;
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
