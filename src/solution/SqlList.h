#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Environment.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::solution {

// The lines of a Sequence.txt text in order, as they stand (no trimming; an
// empty line is an entry), each without its line end (LF or CR LF, or a CR
// that ends the text); no entry follows a last line end.
[[nodiscard]] std::vector<std::string> parseSqlSequence(std::string_view text);

// The lines of Sql/Sequence.txt (parseSqlSequence). Empty when the file is
// missing; throws std::system_error when it exists but cannot be read.
[[nodiscard]] std::vector<std::string> readSqlSequence(const std::filesystem::path& sqlFolder);

// The SQL scripts to run, in run order, logged to "SQLfilesToBeInserted".
[[nodiscard]] std::vector<FileEntry> readSolutionSqlFiles(const platform::Environment& env,
                                                          const SolutionFolders& folders);

}  // namespace qsi::solution
