#include "bench/PackageGenerator.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

#include "checksum/Checksum.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "solution/ComponentLists.h"
#include "solution/ContentScan.h"

namespace qsi::bench {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFilesPerFolder = 100;
constexpr const char* kSqliteDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
constexpr const char* kInstalledDate = "2026-01-15 09:00:00";

constexpr std::array<std::string_view, 6> kWebFolders{"Q-Alder", "Q-Birch", "Q-Cedar",
                                                      "Q-Maple", "Q-Oak",   "images"};
constexpr std::array<std::string_view, 6> kComponentFolders{"QAlder", "Bramble",  "QBirch",
                                                            "QCedar", "QBackend", "QOCommon"};

void writeFile(const fs::path& file, std::string_view content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

// The package path and content of content file `i`.
std::pair<std::string, std::string> contentFile(std::size_t i) {
  const std::string number = std::to_string(i);
  if (i % 10 == 0) {
    const std::string_view folder = kComponentFolders[(i / 10) % kComponentFolders.size()];
    const char* ending = (i / 10) % 2 == 0 ? ".dll" : ".xml";
    return {"Components\\" + std::string(folder) + "\\Comp" + number + ending,
            "component " + number + " " + std::string(64, 'c')};
  }
  const std::string_view folder = kWebFolders[i % kWebFolders.size()];
  const std::size_t sub = i / (kFilesPerFolder * kWebFolders.size());
  return {"Web\\" + std::string(folder) + "\\d" + std::to_string(sub) + "\\page" + number + ".asp",
          "<%@ Language=VBScript %>\r\n<% Response.Write \"page " + number + "\" %>\r\n" +
              std::string(128 + i % 97, 'x') + "\r\n"};
}

// One file in fifty, never a component, was changed on the server after
// its installation.
bool isCustomized(std::size_t i) {
  return i % 50 == 7;
}

std::string customizedContent(const std::string& content) {
  return content + "<!-- changed on the server -->\r\n";
}

std::string checksumOf(const std::string& packagePath, const std::string& content) {
  return packagePath.ends_with(".dll") ? "0"
                                       : checksum::checksumText(checksum::calculateCRC(content));
}

std::string moduleVersion(std::string_view name) {
  for (const SiteModule& module : kModules)
    if (module.name == name) return std::string(module.version);
  return {};
}

void writeModules(const fs::path& configuration) {
  writeFile(configuration / "Solution.info",
            "[ReleaseInfo]\r\nProductName=" + std::string(kProduct) + "\r\nVersion=" +
                std::string(kVersion) + "\r\nSolutionType=" + std::string(kSolutionType) +
                "\r\n\r\n[Dependency]\r\nProductName=" + std::string(kProduct) +
                "\r\nVersion=2.1.0.0\r\nCommonVersion=2.1.0.0\r\n");
  const auto release = [](std::string_view module) {
    return "[ReleaseInfo]\r\nVersion=" + moduleVersion(module) + "\r\n";
  };
  writeFile(configuration / "Q-Alder.ini",
            release("Q-Alder") +
                "[Databases.QAlder]\r\nUser=QAlderUser\r\n"
                "[Components.Register]\r\nMTSComponents=Comp0.dll,Comp20.dll,Comp120.dll\r\n"
                "COMComponents=Comp60.dll,Comp180.dll\r\n");
  for (const char* module : {"Q-Birch", "Q-Cedar", "Q-Maple"})
    writeFile(
        configuration / (std::string(module) + ".ini"),
        release(module) +
            "[Components.Register]\r\nMTSComponents=Comp40.dll\r\nCOMComponents=Comp80.dll\r\n");
  writeFile(configuration / "Q-Common.ini",
            release("Q-Common") +
                "[Databases.QOCommon]\r\nUser=c\r\n[Databases.QOMetabase]\r\nUser=m\r\n"
                "[Databases.QOMembership]\r\nUser=s\r\n");
}

void writeRegistryFile(const fs::path& file, const fs::path& instMainDir) {
  const std::string suite = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard";
  const std::string config = suite + "\\ConfigTypes\\WebServerConfig";
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n" + suite +
                     "]\r\n\"InstallDir\"=\"" + (instMainDir / "bin").string() +
                     "\"\r\n\"InstMainDir\"=\"" + instMainDir.string() +
                     "\"\r\n\"IISVirtId\"=\"1\"\r\n\"MemScriptCode\"=\"QOBENCH\"\r\n\r\n" + config +
                     "]\r\n\"Hostname\"=\"" + std::string(kHostname) + "\"\r\n\r\n" + config +
                     "\\SQL Server]\r\n\"Server\"=\"BENCHSQL01\"\r\n\r\n";
  for (const SiteModule& module : kModules)
    text += config + "\\Modules\\" + std::string(module.name) +
            "]\r\n\"Installed\"=\"1\"\r\n\"AppVersion\"=\"" + std::string(module.installedVersion) +
            "\"\r\n\r\n";
  text +=
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Transaction Server\\Packages\\{B}]\r\n"
      "\"Name\"=\"Q-Orchard\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\QSolutionInstaller\\ComRegistrations]\r\n\r\n";
  writeFile(file, text);
}

void writeDataSources(const SiteLayout& site) {
  fs::create_directories(site.odbcFolder);
  writeFile(site.odbcFolder / "odbcinst.ini",
            "[SQLite3]\nDriver=" + std::string(kSqliteDriver) + "\n");
  writeFile(site.odbcFolder / "odbc.ini",
            "[QOMetabase]\nDriver=SQLite3\nDatabase=" + site.metabase.string() +
                "\nTimeout=5000\nJournalMode=WAL\nSyncPragma=NORMAL\n");
}

// The Metabase as the suite left it: the schema, the server and its modules
// at their installed versions, and a row per file.
void writeMetabase(const fs::path& database, const std::vector<SiteFile>& files) {
  const std::string host(kHostname);
  std::string sql =
      "PRAGMA journal_mode=WAL;\n" +
      platform::readFileBytes(fs::path(QSI_SOURCE_DIR) / "share" / "metabase-schema.sql") +
      "BEGIN;\nINSERT INTO SERVER VALUES ('" + host + "','WebServer','" + kInstalledDate +
      "','2.1.0.0 ');\n";
  for (const SiteModule& module : kModules)
    sql += "INSERT INTO MODULE VALUES ('" + host + "','WebServer','" + std::string(module.name) +
           "','" + kInstalledDate + "','" + std::string(module.installedVersion) + "');\n";
  for (const SiteFile& file : files)
    sql += "INSERT INTO OBJECT VALUES ('" + host + "','WebServer','" + file.module + "','" +
           file.path + "','2.1.0.0','" + file.checksum + "','" + kInstalledDate +
           "','0','0','0');\n";
  sql += "COMMIT;\n";
  FILE* sqlite = popen(("sqlite3 -batch '" + database.string() + "' >/dev/null").c_str(), "w");
  if (sqlite == nullptr) throw std::runtime_error("cannot start sqlite3");
  const bool written = fwrite(sql.data(), 1, sql.size(), sqlite) == sql.size();
  if (pclose(sqlite) != 0 || !written)
    throw std::runtime_error("cannot fill the Metabase " + database.string());
}

}  // namespace

void generatePackage(const fs::path& installerFolder, std::size_t fileCount) {
  const fs::path root = installerFolder / "Solution";
  const fs::path configuration = root / "configuration files";
  fs::create_directories(configuration);
  fs::create_directories(root / "Sql");
  writeModules(configuration);
  writeFile(root / "Sql" / "Sequence.txt", "update.sql\r\ngrants.sql\r\n");
  writeFile(root / "Sql" / "update.sql", "UPDATE SETTINGS SET VALUE = '2.1.1.0'\r\n");
  writeFile(root / "Sql" / "grants.sql", "GRANT SELECT ON SETTINGS TO QAlderUser\r\n");

  std::string fileVersion;
  for (std::size_t i = 0; i < fileCount; ++i) {
    const auto [packagePath, content] = contentFile(i);
    const fs::path file = platform::joinDataPath(root, packagePath);
    fs::create_directories(file.parent_path());
    writeFile(file, content);
    const std::string section = solution::getLookupPath(solution::getInstallationPath(packagePath));
    fileVersion += "[" + section + "]\r\nChecksum=" + checksumOf(packagePath, content) + "\r\n";
  }
  writeFile(configuration / "FileVersion.txt", fileVersion);
}

std::vector<SiteFile> siteFiles(std::size_t fileCount) {
  std::vector<SiteFile> files;
  files.reserve(fileCount);
  for (std::size_t i = 0; i < fileCount; ++i) {
    auto [packagePath, content] = contentFile(i);
    SiteFile& file = files.emplace_back();
    file.path = solution::getInstallationPath(packagePath);
    file.module = solution::getModuleOfPath(file.path);
    file.version = moduleVersion(file.module);
    file.checksum = checksumOf(packagePath, content);
    file.customized = isCustomized(i);
    file.packagePath = std::move(packagePath);
  }
  return files;
}

std::size_t customizedCount(std::size_t fileCount) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < fileCount; ++i) count += isCustomized(i) ? 1 : 0;
  return count;
}

SiteLayout::SiteLayout(const fs::path& folder)
    : installer(folder / "installer"),
      instMainDir(folder / "inst"),
      registryFile(folder / "registry.reg"),
      odbcFolder(folder / "odbc"),
      metabase(folder / "odbc" / "QOMetabase.sqlite"),
      progressFile(folder / "progress.txt"),
      pristine(folder / "pristine") {}

void generateSite(const SiteLayout& site, std::size_t fileCount) {
  generatePackage(site.installer, fileCount);
  for (std::size_t i = 0; i < fileCount; ++i) {
    const auto [packagePath, content] = contentFile(i);
    const fs::path installed =
        platform::joinDataPath(site.instMainDir, solution::getInstallationPath(packagePath));
    fs::create_directories(installed.parent_path());
    writeFile(installed, isCustomized(i) ? customizedContent(content) : content);
  }
  fs::create_directories(site.pristine);
  writeRegistryFile(site.pristine / site.registryFile.filename(), site.instMainDir);
  writeDataSources(site);
  writeMetabase(site.pristine / site.metabase.filename(), siteFiles(fileCount));
  resetSite(site, fileCount);
}

void resetSite(const SiteLayout& site, std::size_t fileCount) {
  for (const char* made : {"QOJournal", "QOLog", "QOCustomized"})
    fs::remove_all(site.instMainDir / made);
  for (std::size_t i = 0; i < fileCount; ++i) {
    if (!isCustomized(i)) continue;
    const auto [packagePath, content] = contentFile(i);
    writeFile(platform::joinDataPath(site.instMainDir, solution::getInstallationPath(packagePath)),
              customizedContent(content));
  }
  const auto copyOption = fs::copy_options::overwrite_existing;
  fs::copy_file(site.pristine / site.registryFile.filename(), site.registryFile, copyOption);
  for (const char* part : {"-wal", "-shm"}) fs::remove(site.metabase.string() + part);
  fs::copy_file(site.pristine / site.metabase.filename(), site.metabase, copyOption);
}

void useDataSourcesOf(const SiteLayout& site) {
  setenv("ODBCSYSINI", site.odbcFolder.c_str(), 1);
  setenv("ODBCINI", (site.odbcFolder / "odbc.ini").c_str(), 1);
}

TemporaryFolder::TemporaryFolder(const char* prefix) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    path_ = fs::temp_directory_path() / (prefix + std::to_string(random()));
    if (fs::create_directory(path_)) return;
  }
  throw std::runtime_error("cannot make a temporary folder in " +
                           fs::temp_directory_path().string());
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

}  // namespace qsi::bench
