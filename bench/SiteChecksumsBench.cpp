// The current site's checksums with packages of 1,000 to 100,000 content
// files: readCurrentSiteChecksums over installed copies of every file and a
// SQLite Metabase (through the ODBC driver manager) holding a row for each,
// against a floor that only reads the installed files.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "actions/ActionServices.h"
#include "bench/PackageGenerator.h"
#include "bench/PackageSizes.h"
#include "control/Main.h"
#include "customization/Checksum.h"
#include "platform/Clock.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "platform/RegFileRegistry.h"
#include "log/CLog.h"
#include "site/SiteInformation.h"
#include "ui/console/ConsoleView.h"

namespace qsi::bench {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSqliteDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

// One site per size: the package read as at start-up, its files installed,
// and a row per file in the Metabase's own data source. The driver manager
// reads odbc.ini once per process, so all sizes share one Metabase (the
// smaller packages' paths are the larger ones' first paths).
class Sites {
 public:
  explicit Sites(const fs::path& root) : root_(root), database_(root / "QOMetabase.sqlite") {
    std::ofstream(root_ / "odbcinst.ini") << "[SQLite3]\nDriver=" << kSqliteDriver << "\n";
    std::ofstream(root_ / "odbc.ini")
        << "[QOMetabase]\nDriver=SQLite3\nDatabase=" << database_.string() << "\n";
    setenv("ODBCSYSINI", root_.c_str(), 1);
    setenv("ODBCINI", (root_ / "odbc.ini").c_str(), 1);
    runSqlite(platform::readFileBytes(fs::path(QSI_SOURCE_DIR) / "share" / "metabase-schema.sql"));
  }

  struct Site {
    fs::path registryFile;
    fs::path instMainDir;
    fs::path installer;
    solution::SolutionInfo solution;
  };

  const Site& get(std::size_t files) {
    auto [it, isNew] = sites_.try_emplace(files);
    if (!isNew) return it->second;
    const fs::path folder = root_ / ("n" + std::to_string(files));
    Site& site = it->second;
    site = {folder / "registry.reg", folder / "inst", folder / "installer", {}};
    fs::create_directories(site.instMainDir);
    generatePackage(site.installer, files);
    writeRegistryFile(site.registryFile, site.instMainDir);
    site.solution = readPackage(site);
    install(site);
    addMetabase(site.solution);
    return site;
  }

 private:
  static solution::SolutionInfo readPackage(const Site& site) {
    platform::RegFileRegistry registry(site.registryFile);
    platform::ProfileReader profiles;
    const platform::SystemClock clock;
    actions::NativeActionServices actions(registry);
    std::istringstream in;
    std::ostringstream out;
    std::ofstream progress(site.installer.parent_path() / "progress.txt");
    ui::console::ConsoleView view({in, out, progress, false, false});
    control::Main main({registry, profiles, clock, site.installer, actions.services()}, view);
    main.Form_Load();
    return main.solutionInfo();
  }

  static void install(const Site& site) {
    for (const solution::FileEntry& entry : site.solution.files) {
      const fs::path target = platform::joinDataPath(site.instMainDir, entry.path);
      fs::create_directories(target.parent_path());
      fs::copy_file(platform::joinDataPath(site.installer / "Solution", entry.packagePath), target,
                    fs::copy_options::overwrite_existing);
    }
  }

  void addMetabase(const solution::SolutionInfo& solution) const {
    std::string sql = "BEGIN;\n";
    for (const solution::FileEntry& entry : solution.files)
      sql +=
          "INSERT OR IGNORE INTO OBJECT(MACHINE,SERVER,OBJECT,CHECKSUM) VALUES ('BENCH01',"
          "'WebServer','" +
          entry.path + "','" + entry.solutionChecksum + "');\n";
    runSqlite(sql + "COMMIT;\n");
  }

  void runSqlite(const std::string& sql) const {
    FILE* sqlite = popen(("sqlite3 '" + database_.string() + "'").c_str(), "w");
    if (sqlite == nullptr || fwrite(sql.data(), 1, sql.size(), sqlite) != sql.size() ||
        pclose(sqlite) != 0)
      throw std::runtime_error("cannot fill " + database_.string());
  }

  fs::path root_;
  fs::path database_;
  std::map<std::size_t, Site> sites_;
};

// A step's user interface that writes its progress to a file, as the console
// front-end does when standard error is not a terminal.
struct ProgressToFile final : platform::UserInterface {
  std::ofstream file;
  void setProgress(platform::ProgressBox, std::string text, bool) override { file << text << '\n'; }
  void append(platform::InfoBox, std::string_view) override {}
  void setProgressCount(std::size_t, std::size_t) override {}
  platform::Answer messageBox(const platform::MessageBox&) override { return platform::Answer::OK; }
};

void readCurrentSiteChecksums(benchmark::State& state, Sites& sites) {
  const auto files = static_cast<std::size_t>(state.range(0));
  const Sites::Site& site = sites.get(files);
  platform::RegFileRegistry registry(site.registryFile);
  platform::ProfileReader profiles;
  ProgressToFile ui;
  ui.file.open(site.installer.parent_path() / "progress.txt", std::ios::trunc);
  const platform::Environment env{registry, profiles, ui, site.installer, {}};
  for (auto _ : state) {
    solution::SolutionInfo solution = site.solution;
    log::CLog log(env);
    site::readCurrentSiteChecksums(env, solution, log);
    const auto found = std::count_if(solution.files.begin(), solution.files.end(), [](auto& e) {
      return e.metabaseChecksum == e.solutionChecksum;
    });
    if (static_cast<std::size_t>(found) != files) {
      state.SkipWithError("not every file was found in the Metabase");
      return;
    }
  }
  reportPerFile(state, files);
}

// The floor: reading every installed file once.
void readInstalledFiles(benchmark::State& state, Sites& sites) {
  const auto files = static_cast<std::size_t>(state.range(0));
  const Sites::Site& site = sites.get(files);
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (const solution::FileEntry& entry : site.solution.files)
      bytes += platform::readFileBytes(platform::joinDataPath(site.instMainDir, entry.path)).size();
    benchmark::DoNotOptimize(bytes);
  }
  reportPerFile(state, files);
}

}  // namespace
}  // namespace qsi::bench

int main(int argc, char** argv) {
  using namespace qsi::bench;
  return runOnPackageSizes<Sites>(argc, argv,
                                  {{"readCurrentSiteChecksums", readCurrentSiteChecksums},
                                   {"readInstalledFiles", readInstalledFiles}});
}
