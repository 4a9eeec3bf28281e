#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "actions/InstallationPlan.h"
#include "journal/Journal.h"
#include "platform/Environment.h"
#include "solution/Records.h"

namespace qsi::metabase {

// Entries of Sequence.txt that run nothing (an empty line, a name with a
// folder part, a script that is not there) are recorded in this log, one
// line each.
inline constexpr std::string_view kSkippedScriptsLog = "SQL Scripts";

// What the run does with the `line`th entry of Sequence.txt (counted from
// 1): the database its script's first line names, or why it runs nothing
// (an empty line, a name with a folder part, a script that is not there),
// as the log "SQL Scripts" tells it.
[[nodiscard]] actions::PlannedScript planScript(const std::filesystem::path& sqlFolder,
                                                std::size_t line, const std::string& name);
// Each entry of Sequence.txt, `sequence` in its order.
[[nodiscard]] std::vector<actions::PlannedScript> planScripts(
    const std::filesystem::path& sqlFolder, const std::vector<solution::FileEntry>& sequence);

// Runs the planned scripts in their order, each on the data source its
// first line names, as the system administrator, after telling `journal`;
// a planned script that runs nothing gets its line in "SQL Scripts". A
// failing script is logged and the next one runs; nothing fails toward the
// caller. Returns, for each script that failed (a statement failed, its
// file is missing or cannot be read, or its first line let nothing run),
// the log that tells why.
std::vector<std::string> runSQLScripts(const platform::Environment& env,
                                       const std::vector<actions::PlannedScript>& scripts,
                                       std::string_view saPassword,
                                       journal::Journal* journal = nullptr);

// Runs one script file, logging to "SQL Script - " + its short name, which
// it returns when the script failed; nullopt when it ran, or had nothing to.
std::optional<std::string> runSQLScript(const platform::Environment& env,
                                        const std::filesystem::path& script,
                                        std::string_view saPassword);

// The text to execute (everything after the first line) and, through
// `databaseName`, the database the first line names. A first line that names
// none shows "No Database Defined!" and leaves `databaseName` as it was.
// Throws std::system_error when the file cannot be read.
[[nodiscard]] std::string readSQLScript(const platform::Environment& env,
                                        const std::filesystem::path& script,
                                        std::string& databaseName);

// Why a database name from a script's first line is no bare data source
// name: it holds "=", ";", "{", "}" or a control character, and would reach
// the driver manager as a connection string (naming a driver to load, or a
// file). nullopt when it is one.
[[nodiscard]] std::optional<std::string> dataSourceNameProblem(std::string_view databaseName);

// The database a script's first line names, in upper case: the line must
// start with the USE keyword; one pair of brackets or quotes around the name
// and a closing ";" are dropped ("use [QOMetabase];" -> QOMETABASE,
// 'USE ["X"]' -> "X" with its quotes). nullopt otherwise.
[[nodiscard]] std::optional<std::string> databaseNameOf(std::string_view firstLine);

}  // namespace qsi::metabase
