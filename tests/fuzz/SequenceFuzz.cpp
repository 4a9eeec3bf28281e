#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fuzz/Fuzz.h"
#include "metabase/SqlScripts.h"
#include "platform/Paths.h"
#include "solution/SqlList.h"

// Sequence.txt comes with the package: its lines print back (each followed by
// CR LF) to the same lines, and no entry plans a script outside Sql, not even
// through a link that is there.
namespace fs = std::filesystem;
using namespace qsi::fuzz;

// Sql with scripts, a folder and links out, beside a script outside, in a folder of the run's own.
struct Site {
  fs::path path = fs::temp_directory_path() / ("qsi-fuzz-" + std::to_string(::getpid()));
  fs::path sql = path / "Sql";
  Site() {
    fs::remove_all(path);  // left by a crashed run of the same id
    fs::create_directories(sql / "sub");
    for (const fs::path& script : {sql / "a.sql", sql / "sub" / "b.sql", path / "outside.sql"})
      std::ofstream(script) << "USE [QAlder];\r\nSELECT 1\r\n";
    fs::create_symlink("../outside.sql", sql / "link.sql");
    fs::create_directory_symlink("..", sql / "up");
  }
  ~Site() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

QSI_FUZZ_TARGET {
  static const Site site;
  const auto lines = qsi::solution::parseSqlSequence(textOf(data, size));
  std::string printed;
  for (const auto& line : lines) printed.append(line).append("\r\n");
  check(qsi::solution::parseSqlSequence(printed) == lines, "printed lines read back", printed);

  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto planned = qsi::metabase::planScript(site.sql, i + 1, lines[i]);
    if (!planned.skipped.empty()) continue;
    const fs::path script = site.sql / planned.name;
    check(qsi::platform::liesBelow(site.sql, script) &&
              fs::weakly_canonical(script).parent_path() == fs::canonical(site.sql),
          "a planned script lies in Sql", planned.name);
  }
  return 0;
}
