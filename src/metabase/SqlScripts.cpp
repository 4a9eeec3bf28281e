#include "metabase/SqlScripts.h"

#include <exception>
#include <system_error>

#include "log/CLog.h"
#include "metabase/SAPassword.h"
#include "platform/FileIO.h"
#include "platform/OdbcConnection.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace qsi::metabase {

namespace fs = std::filesystem;
using platform::kCrLf;

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

void logSkipped(const platform::Environment& env, const std::string& line) {
  try {
    log::CLog log(env);
    log.openLogFile(kSkippedScriptsLog);
    log.writeLine(line);
    log.closeLogFile();
  } catch (const std::exception&) {  // a log that cannot be written stops no script
  }
}

// The name without one pair of brackets or quotes around it. Only one, as in
// SQL, where ["X"] names a database whose name holds the quotes: then a name
// read from "USE [name]" always reads back from it.
std::string_view unenclosed(std::string_view name) {
  const bool enclosed = name.size() >= 2 && ((name.front() == '[' && name.back() == ']') ||
                                             (name.front() == '"' && name.back() == '"'));
  return enclosed ? name.substr(1, name.size() - 2) : name;
}

}  // namespace

std::optional<std::string> dataSourceNameProblem(std::string_view databaseName) {
  if (databaseName.find_first_of("=;{}") != std::string_view::npos)
    return "it holds one of = ; { }";
  if (platform::hasControlCharacter(databaseName)) return "it holds a control character";
  return std::nullopt;
}

std::optional<std::string> databaseNameOf(std::string_view firstLine) {
  const std::string line = platform::toUpper(platform::trim(firstLine));
  constexpr std::string_view keyword = "USE";
  if (!line.starts_with(keyword)) return std::nullopt;
  std::string_view name(line);
  name.remove_prefix(keyword.size());
  // "USER..." or "USEFUL" is no USE statement.
  if (!name.empty() && name.front() != ' ' && name.front() != '\t' && name.front() != '[' &&
      name.front() != '"')
    return std::nullopt;
  name = platform::trim(name);
  while (name.ends_with(';')) name = platform::trim(name.substr(0, name.size() - 1));
  name = platform::trim(unenclosed(name));
  if (name.empty()) return std::nullopt;
  return std::string(name);
}

std::string readSQLScript(const platform::Environment& env, const fs::path& script,
                          std::string& databaseName) {
  std::string_view bytes;
  const std::string content = platform::readFileBytes(script);
  bytes = content;
  if (bytes.starts_with(kUtf8Mark)) bytes.remove_prefix(kUtf8Mark.size());
  if (bytes.empty()) return {};
  const auto lineEnd = bytes.find('\n');
  std::string_view firstLine = bytes.substr(0, lineEnd);
  if (firstLine.ends_with('\r')) firstLine.remove_suffix(1);
  if (const auto name = databaseNameOf(firstLine))
    databaseName = *name;
  else
    env.ui.messageBox({"No Database Defined!"});
  if (lineEnd == std::string_view::npos) return {};
  return std::string(bytes.substr(lineEnd + 1));
}

std::optional<std::string> runSQLScript(const platform::Environment& env, const fs::path& script,
                                        std::string_view saPassword) {
  const std::string logName = "SQL Script - " + platform::shortPath(script).filename().string();
  bool failed = false;
  try {
    log::CLog log(env);
    log.openLogFile(logName);
    std::string databaseName;
    std::string text;
    try {
      text = readSQLScript(env, script, databaseName);
      std::error_code ec;
      if (databaseName.empty() && text.empty() && fs::file_size(script, ec) > 0) {
        failed = true;  // a first line alone, naming no database
        log.writeLine("The first line names no database: nothing was run.");
      }
    } catch (const std::system_error& error) {
      failed = true;
      log.writeLine(std::string("The script cannot be read, nothing was run: ") + error.what());
    }
    const auto problem = dataSourceNameProblem(databaseName);
    if (!text.empty() && problem) {
      failed = true;
      // Not even the text is logged: nothing of it ran.
      log.writeLine("The first line names \"" + platform::escapeControls(databaseName) +
                    "\", which is no data source name (" + *problem + "): nothing was run.");
    } else if (!text.empty()) {
      const auto opened = platform::databasesOf(env).connection();
      platform::DatabaseConnection& connection = *opened;
      connection.setStatementTimeLimit(platform::timeLimit(platform::kScriptTimeLimit));
      std::vector<std::string> errors;
      bool executed = true;
      std::exception_ptr ending;  // a time-out is logged as any failure, then ends the run
      const auto failedWith = [&](const platform::OdbcFailure& failure) {
        executed = false;
        errors = failure.errors();
        if (dynamic_cast<const platform::EndsTheRun*>(&failure)) ending = std::current_exception();
      };
      try {
        connection.open(databaseName, kSaScriptLogin, saPassword);
      } catch (const platform::OdbcFailure& failure) {
        failedWith(failure);
      }
      log.writeLine("Begin" + std::string(kCrLf) + text);
      if (executed) {
        try {
          connection.execute(text);  // whole, as one batch
        } catch (const platform::OdbcFailure& failure) {
          failedWith(failure);
        }
      }
      if (!executed) {
        failed = true;
        log.writeLine("Error executing SQL query: " + text + std::string(kCrLf));
        for (const auto& error : errors) log.writeLine("Error : " + error);
      }
      log.writeLine("End" + std::string(kCrLf));
      connection.close();
      if (ending) std::rethrow_exception(ending);
    }
    log.closeLogFile();
  } catch (const std::exception& failure) {
    // A failing script stops neither the others nor the run, unless it timed
    // out or was interrupted; what could not be told in its log is no script
    // that ran.
    platform::rethrowIfRunEnding(failure);
    failed = true;
  }
  return failed ? std::optional(logName) : std::nullopt;
}

actions::PlannedScript planScript(const fs::path& sqlFolder, std::size_t line,
                                  const std::string& name) {
  actions::PlannedScript planned{name, {}, {}, {}};
  if (platform::trim(name).empty()) {
    planned.skipped =
        "Line " + std::to_string(line) + " of Sequence.txt is empty: no script was run for it.";
    return planned;
  }
  // A plain name, so that the script lies in Sql whatever the line holds.
  if (const auto problem = platform::nameProblem(name)) {
    planned.skipped = platform::escapeControls(name) + ": " + *problem +
                      "; a script is named by its file name in Sql alone: nothing was run for it.";
    return planned;
  }
  const fs::path script = sqlFolder / name;
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(script, ec))) {
    planned.skipped = name + ": the script " + platform::displayPath(script) +
                      " was not found: nothing was run for it.";
    planned.missing = true;
    return planned;
  }
  try {
    const std::string content = platform::readFileBytes(script);
    std::string_view first = content;
    if (first.starts_with(kUtf8Mark)) first.remove_prefix(kUtf8Mark.size());
    first = first.substr(0, first.find('\n'));
    if (first.ends_with('\r')) first.remove_suffix(1);
    planned.database = databaseNameOf(first).value_or("");
    if (planned.database.empty())
      planned.note = "its first line names no database: \"No Database Defined!\"";
    else if (const auto problem = dataSourceNameProblem(planned.database))
      planned.note = "runs nothing, its first line names \"" +
                     platform::escapeControls(planned.database) +
                     "\", which is no data source name (" + *problem + ")";
  } catch (const std::exception& e) {
    planned.note = std::string("runs nothing, it cannot be read: ") + e.what();
  }
  return planned;
}

std::vector<actions::PlannedScript> planScripts(const fs::path& sqlFolder,
                                                const std::vector<solution::FileEntry>& sequence) {
  std::vector<actions::PlannedScript> scripts;
  for (std::size_t i = 0; i < sequence.size(); ++i)
    scripts.push_back(planScript(sqlFolder, i + 1, sequence[i].path));
  return scripts;
}

std::vector<std::string> runSQLScripts(const platform::Environment& env,
                                       const std::vector<actions::PlannedScript>& scripts,
                                       std::string_view saPassword, journal::Journal* journal) {
  const fs::path sqlFolder = env.installerFolder / "Solution" / "Sql";
  env.ui.setProgress(platform::ProgressBox::Text, "Running the SQL scripts");
  std::vector<std::string> failed;
  for (const actions::PlannedScript& script : scripts) {
    env.ui.setProgress(platform::ProgressBox::Detail, script.name);
    if (!script.skipped.empty()) {
      logSkipped(env, script.skipped);
      if (script.missing) failed.emplace_back(kSkippedScriptsLog);
      continue;
    }
    // What ran cannot be undone, but an undo names it.
    if (journal != nullptr) journal->write(journal::Script{script.name, script.database});
    if (auto log = runSQLScript(env, sqlFolder / script.name, saPassword))
      failed.push_back(std::move(*log));
  }
  return failed;
}

}  // namespace qsi::metabase
