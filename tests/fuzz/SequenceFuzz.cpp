#include <unistd.h>
#include <filesystem>
#include <fstream>

#include "fuzz/Fuzz.h"
#include "metabase/SqlScripts.h"
#include "platform/Paths.h"
#include "solution/SqlList.h"

// Sequence.txt comes with the package: its lines print back (each followed
// by CR LF) to the same lines, and no entry plans a script outside Sql, not
// even through a link that is there.
namespace {

namespace fs = std::filesystem;
using qsi::fuzz::check;

struct Site {
  fs::path root = fs::temp_directory_path() / ("qsi-fuzz-" + std::to_string(::getpid()));
  fs::path sql = root / "Sql";
  Site() {
    fs::create_directories(sql / "sub");
    for (const fs::path& script : {sql / "a.sql", sql / "sub" / "b.sql", root / "outside.sql"})
      std::ofstream(script) << "USE [QAlder];\r\nSELECT 1\r\n";
    std::error_code exists;
    fs::create_symlink("../outside.sql", sql / "link.sql", exists);
    fs::create_directory_symlink("..", sql / "up", exists);
  }
  ~Site() { fs::remove_all(root); }
};

}  // namespace

QSI_FUZZ_TARGET {
  static const Site site;
  const auto lines = qsi::solution::parseSqlSequence(qsi::fuzz::textOf(data, size));
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
