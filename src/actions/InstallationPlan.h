#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "solution/Records.h"

// Everything an installation run will do, decided once, after the current
// installation was read: the run carries it out and decides nothing of its
// own, and the administrator can read it before pressing Start.
namespace qsi::actions {

struct PlannedModule {
  std::string name;
  std::string installedVersion;  // empty: not installed
  std::string newVersion;
  bool install = false;
  // The run whose record gave installedVersion, the suite's key holding none.
  std::optional<std::string> recordedBy;
};

enum class FileAction { New, Replace, SaveAndReplace, NotInstalled };

// Why a file is saved before it is replaced.
enum class SaveReason {
  None,              // it is not saved
  Customized,        // changed since its last installation, as the Metabase tells
  LookupFailed,      // the Metabase could not tell whether it was
  ChangedMeanwhile,  // changed after the information was retrieved
};

// The reason as the plan and the log "Copy Files" tell it ("customized").
[[nodiscard]] std::string_view saveReasonText(SaveReason reason);

struct PlannedFile {
  std::size_t entry = 0;  // its index in the package's file list
  std::string path;       // installation path
  std::string module;
  std::string packagePath;  // where the new file lies in the package
  FileAction action = FileAction::NotInstalled;
  SaveReason save = SaveReason::None;  // SaveAndReplace: why
  std::string notInstalledWhy;         // NotInstalled: the versions that keep it out
  // A later entry installed at the path of an earlier one: it replaces what
  // that one put there, and nothing is saved for it.
  bool again = false;
  bool isCOMComponent = false;  // unregistered before the copy, registered after
  bool isMTSComponent = false;  // removed from the MTS package before, installed after
};

// Why a file is saved first or not installed, as the plan tells it; empty
// when it is neither.
[[nodiscard]] std::string reasonOf(const PlannedFile& file);

struct PlannedScript {
  std::string name;      // as Sequence.txt lists it
  std::string database;  // the data source its first line names
  std::string skipped;   // why it runs nothing, as the log "SQL Scripts" tells; empty: it is run
  std::string note;      // what the run will find when it reads the script, for the plan
  bool missing = false;  // its file is not in Sql: a script that failed
};

// A value the run writes: where, and its text before and after.
struct PlannedValue {
  std::string where;
  std::optional<std::string> before;  // nullopt: none
  std::string after;
};

// A module version the run leaves as it is recorded: the package's version
// of the module is lower.
struct KeptVersion {
  std::string section;  // "WebServer" or "DbServer"
  std::string module;
  bool inRegistry = false;  // its AppVersion; otherwise its MODULE row
  std::string where;        // as the plan names a value
  std::string recorded;
  std::string packaged;
};

struct InstallationPlan {
  std::string product;  // "Q-Alder 2.1.1.0 (ServicePack)"
  std::vector<PlannedModule> modules;
  std::vector<PlannedFile> files;  // one per entry of the package's file list, in its order
  bool stopsServices = false;      // the NT services and the suite's, and the NT ones started again
  std::vector<std::string> javaClasses;  // package paths below Classes
  std::vector<PlannedScript> scripts;    // in run order
  std::vector<PlannedValue> registryValues;
  std::vector<PlannedValue> metabaseRows;
  std::vector<KeptVersion> keptVersions;  // writes left out: they would lower a version

  // The modules of `section` whose version in the registry (or, without
  // `inRegistry`, in the Metabase) the run leaves as it is.
  [[nodiscard]] std::set<std::string> keptModules(std::string_view section, bool inRegistry) const;
  // Why a part the package has is passed over whole, so that a second run of
  // a package changes nothing; empty: the part runs.
  std::string webPassedOver;       // none of its files is to be installed
  std::string databasePassedOver;  // a run completed these very scripts
  std::string scriptsChecksum;     // what identifies the package's scripts in the record
};

// What a log or the plan tells of a version left as it is.
[[nodiscard]] std::string keptText(const KeptVersion& kept);

// What the run does with each file of the package, as the selection marked
// them and as the site at `instMainDir` holds them now: a file of a module
// the package does not bring newer is not installed; one that is not there
// is new; a customized one, or one the Metabase could not be asked about, is
// saved before it is replaced; a later entry of a path installed before in
// the list replaces what that one put there, and nothing is saved for it.
// `files` are the package's file list, `modules` its modules.
[[nodiscard]] std::vector<PlannedFile> planFiles(
    const std::vector<solution::FileEntry>& files, const std::vector<solution::ModuleInfo>& modules,
    const std::vector<solution::ModuleInfo>& installedModules,
    const std::filesystem::path& instMainDir);

// The package's modules the plan installs, but those named in `failed` (a
// file or registration of theirs failed).
[[nodiscard]] std::vector<solution::ModuleInfo> installedModules(
    const InstallationPlan& plan, const solution::SolutionInfo& info,
    const std::set<std::string>& failed);

// The plan as plain text an administrator can file with a change request:
// the counts first, then the details, grouped by module.
[[nodiscard]] std::string planText(const InstallationPlan& plan);

}  // namespace qsi::actions
