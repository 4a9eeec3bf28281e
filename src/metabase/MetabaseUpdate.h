#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

#include "log/CLog.h"
#include "platform/Environment.h"
#include "platform/OdbcConnection.h"
#include "solution/Records.h"

namespace qsi::metabase {

// What the recording of a section could not write.
struct Recording {
  std::size_t refusedStatements = 0;  // each with the database's messages in "Metabase"
  bool versionsRecorded = true;       // its MODULE rows written, none refused or left out
};

// Records one install section ("WebServer" or "DbServer") of the installation
// in the Metabase, logged to "Metabase": the installed files always; the
// module versions unless the solution type is "Solution"; the server's
// service pack for "ServicePack"; the patch level for "Solution"; one history
// row. Throws when the connection cannot be opened and Failure 1010 when the
// module versions or the service pack cannot be written: the run must stop.
// Modules named in `keepVersions` (a file or registration of theirs failed,
// or the package's version is lower) keep the version recorded for them.
// Without `completed` (a SQL script of the section failed) nothing says the
// section is installed: no MODULE, SERVER or PATCH row, only the files' rows
// and the history row. Every other statement the database refuses is passed
// over, and counted.
Recording updateMetabase(const platform::Environment& env,
                         const solution::SolutionInfo& solutionInfo,
                         std::string_view installSection, std::string_view saPassword,
                         const std::set<std::string>& keepVersions = {}, bool completed = true);

// The OBJECT rows of the files selected for installation; passes over failures.
void updateObjects(const platform::Environment& env, platform::DatabaseConnection& connection,
                   const solution::SolutionInfo& solutionInfo, log::CLog& log);

// The MODULE rows of the solution's modules with their three-part versions.
// Any failure is Failure 1010 "updateServicePackTable".
void updateServicePackTable(const platform::Environment& env,
                            platform::DatabaseConnection& connection,
                            const solution::SolutionInfo& solutionInfo,
                            std::string_view installSection, log::CLog& log,
                            const std::set<std::string>& keepVersions = {});

}  // namespace qsi::metabase
