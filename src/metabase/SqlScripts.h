#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Environment.h"
#include "solution/Records.h"

namespace qsi::metabase {

// Entries of Sequence.txt that run nothing (an empty line, a name with a
// folder part, a script that is not there) are recorded in this log, one
// line each.
inline constexpr std::string_view kSkippedScriptsLog = "SQL Scripts";

// Runs the solution's scripts in list order, each on the data source its
// first line names, as the system administrator. A failing script is only
// logged; the next one runs. Nothing fails toward the caller.
void runSQLScripts(const platform::Environment& env, const solution::SolutionInfo& solutionInfo,
                   std::string_view saPassword);

// Runs one script file, logging to "SQL Script - " + its short name.
void runSQLScript(const platform::Environment& env, const std::filesystem::path& script,
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
// start with the USE keyword; a name in brackets or quotes and a closing ";"
// give the bare name ("use [QOMetabase];" -> QOMETABASE). nullopt otherwise.
[[nodiscard]] std::optional<std::string> databaseNameOf(std::string_view firstLine);

}  // namespace qsi::metabase
