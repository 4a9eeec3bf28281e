#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qsi::bench {

// Writes a synthetic solution package with `fileCount` content files to
// `installerFolder`/Solution: a descriptor, five module definition files with
// component lists, web files spread over the modules' web folders (about a
// hundred per folder), one file in ten a component (half of them libraries),
// two SQL scripts with their Sequence.txt, and a FileVersion.txt that lists
// every content file with its checksum.
void generatePackage(const std::filesystem::path& installerFolder, std::size_t fileCount);

// What the generated package and site say about the suite.
inline constexpr std::string_view kHostname = "BENCH01";
inline constexpr std::string_view kProduct = "Q-Alder";
inline constexpr std::string_view kVersion = "2.1.1.0";
inline constexpr std::string_view kSolutionType = "ServicePack";

// A module of the package: its version there and the older one installed.
struct SiteModule {
  std::string_view name;
  std::string_view version;
  std::string_view installedVersion;
};
inline constexpr std::array<SiteModule, 5> kModules{{{"Q-Alder", "2.1.1.0", "2.1.0.0"},
                                                     {"Q-Birch", "2.1.1.0", "2.1.0.0"},
                                                     {"Q-Cedar", "2.1.1.0", "2.1.0.0"},
                                                     {"Q-Maple", "2.1.1.0", "2.1.0.0"},
                                                     {"Q-Common", "2.1.0.0", "2.0.0.0"}}};

// One content file of a generated site.
struct SiteFile {
  std::string packagePath;  // below Solution ("Web\Q-Alder\d0\page1.asp")
  std::string path;         // installation path below InstMainDir
  std::string module;
  std::string version;      // of its module in the package; "" when the package has none
  std::string checksum;     // as shipped and as the Metabase recorded it ("0" for libraries)
  bool customized = false;  // its installed copy was changed after its installation
};

// The content files of a site of `fileCount` files, in package order.
[[nodiscard]] std::vector<SiteFile> siteFiles(std::size_t fileCount);
// How many of them are customized.
[[nodiscard]] std::size_t customizedCount(std::size_t fileCount);

// Where the parts of a generated site lie, all below one folder.
struct SiteLayout {
  explicit SiteLayout(const std::filesystem::path& folder);

  std::filesystem::path installer;     // holds Solution
  std::filesystem::path instMainDir;   // the installed site
  std::filesystem::path registryFile;  // the registry as the installer reads it
  std::filesystem::path odbcFolder;    // ODBCSYSINI; odbc.ini defines "QOMetabase"
  std::filesystem::path metabase;      // the SQLite file behind "QOMetabase"
  std::filesystem::path progressFile;  // where the console front-end's progress goes
  std::filesystem::path pristine;      // the registry file and Metabase as generated

  [[nodiscard]] std::filesystem::path package() const { return installer / "Solution"; }
};

// Writes a whole site of `fileCount` files: the package, the suite's
// registry file (older module versions installed, the suite's MTS package),
// a copy of every content file installed below InstMainDir (one file in
// fifty, a web file, changed since, so that a run saves it first), and a
// SQLite Metabase with a row per file holding its shipped checksum, reached
// through a data source of its own (WAL journal, synchronous NORMAL: a
// commit does not wait for the disk).
void generateSite(const SiteLayout& site, std::size_t fileCount);

// Puts back what a run changes: the installed files as generated, no logs,
// saved files or journals, the registry file and the Metabase as generated.
void resetSite(const SiteLayout& site, std::size_t fileCount);

// Points the ODBC driver manager of this process at the site's data sources;
// to be called before the first database call.
void useDataSourcesOf(const SiteLayout& site);

// A new folder below the system's temporary folder, removed with everything
// in it when the object goes.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(const char* prefix);
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace qsi::bench
