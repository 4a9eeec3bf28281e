#include "solution/SqlList.h"

#include "log/CLog.h"
#include "platform/FileIO.h"

namespace qsi::solution {

namespace fs = std::filesystem;

std::vector<std::string> parseSqlSequence(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.emplace_back(line);
    pos = end + 1;
  }
  return lines;
}

std::vector<std::string> readSqlSequence(const fs::path& sqlFolder) {
  const fs::path file = sqlFolder / "Sequence.txt";
  if (!fs::is_regular_file(file)) return {};
  return parseSqlSequence(platform::readFileBytes(file));
}

std::vector<FileEntry> readSolutionSqlFiles(const platform::Environment& env,
                                            const SolutionFolders& folders) {
  if (!fs::is_directory(folders.sqlFolder)) return {};
  const std::vector<std::string> lines = readSqlSequence(folders.sqlFolder);
  std::vector<FileEntry> scripts(lines.size());
  env.ui.setProgress(platform::ProgressBox::Text, "Retrieving Sql files in this solution", false);
  log::CLog log(env);
  log.openLogFile("SQLfilesToBeInserted");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    log.writeLine(lines[i]);
    scripts[i].path = lines[i];
  }
  log.closeLogFile();
  return scripts;
}

}  // namespace qsi::solution
