#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/CLog.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "solution/Records.h"

// The installer's own record of what it installed, where the suite's keys
// cannot tell it: a module the suite never registered, and the SQL scripts
// of a database part that completed (scripts are seldom written to run
// twice). It is kept below HKEY_LOCAL_MACHINE\SOFTWARE\QSolutionInstaller,
// a key of the installer's own; the suite's keys are never made for it:
//
//   Installed\<section>\<module>   "Run", then "Version" as the module's
//                                  definition file gives it
//   Scripts\<checksum>             "Package", then "Run"
//
// <section> is "WebServer" or "DbServer"; <checksum> identifies Sequence.txt
// and the scripts it lists. The value written last completes an entry: one
// without it counts for nothing. Deleting an entry's key makes the next run
// install the module, or run the scripts, again. The record is outside text
// like every registry value: what cannot be used is passed over and logged.
namespace qsi::site {

inline constexpr std::string_view kInstallerKey = "SOFTWARE\\QSolutionInstaller";

// Whether `key` is the installer's own key or lies below it.
[[nodiscard]] bool isInstallerKey(std::string_view key);

// A module version the installer recorded for a section.
struct RecordedModule {
  std::string name;
  std::string version;
  std::string run;  // the run that installed it; "" when the record does not say
};

// The modules recorded for `section` whose versions compare. An entry that
// cannot be used (a name with a control character, a version that does not
// compare) is left out, and why is appended to `passedOver`.
[[nodiscard]] std::vector<RecordedModule> readRecordedModules(const platform::Registry& registry,
                                                              std::string_view section,
                                                              std::vector<std::string>& passedOver);

// Site reading: the recorded web server versions of the modules for which
// the suite's own key holds none are added to `modules` (or fill an entry
// without a version), shown in txtCurrent and written to the site reader's
// `log`, with the entries passed over. Returns the records taken.
std::vector<RecordedModule> addRecordedModules(const platform::Environment& env,
                                               std::vector<solution::ModuleInfo>& modules,
                                               log::CLog& log);

// After a part completed: records each of `installed` for which the suite's
// key under the section ("WebServer" or "DbServer") holds no version, unless
// the record holds a greater one. Keys are made as needed. Any failure is
// Failure 1010 "recordInstallation".
void recordInstalledModules(platform::Registry& registry, std::string_view section,
                            const std::vector<solution::ModuleInfo>& installed,
                            std::string_view run);

// What identifies a package's database part: a checksum of Sequence.txt in
// `sqlFolder` and of each script it lists (`names`, in their order), as 16
// hexadecimal digits. A name with a folder part, or a script that is not
// there, counts by its name alone.
[[nodiscard]] std::string scriptsChecksum(const std::filesystem::path& sqlFolder,
                                          const std::vector<std::string>& names);

// The run that completed the scripts of `checksum`; nullopt when the record
// names none.
[[nodiscard]] std::optional<std::string> scriptsCompletedBy(const platform::Registry& registry,
                                                            std::string_view checksum);

// Records that `run` completed the scripts of `checksum` of `package`. Any
// failure is Failure 1010 "recordInstallation".
void recordCompletedScripts(platform::Registry& registry, std::string_view checksum,
                            std::string_view package, std::string_view run);

}  // namespace qsi::site
