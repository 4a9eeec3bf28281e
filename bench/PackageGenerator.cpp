#include "bench/PackageGenerator.h"

#include <array>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

#include "customization/Checksum.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "solution/ComponentLists.h"
#include "solution/ContentScan.h"

namespace qsi::bench {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFilesPerFolder = 100;

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

void writeModules(const fs::path& configuration) {
  writeFile(configuration / "Solution.info",
            "[ReleaseInfo]\r\nProductName=Q-Alder\r\nVersion=2.1.1.0\r\n"
            "SolutionType=ServicePack\r\n\r\n[Dependency]\r\nProductName=Q-Alder\r\n"
            "Version=2.1.0.0\r\nCommonVersion=2.1.0.0\r\n");
  writeFile(configuration / "Q-Alder.ini",
            "[ReleaseInfo]\r\nVersion=2.1.1.0\r\n[Databases.QAlder]\r\nUser=QAlderUser\r\n"
            "[Components.Register]\r\nMTSComponents=Comp0.dll,Comp20.dll,Comp120.dll\r\n"
            "COMComponents=Comp60.dll,Comp180.dll\r\n");
  for (const char* module : {"Q-Birch", "Q-Cedar", "Q-Maple"})
    writeFile(configuration / (std::string(module) + ".ini"),
              "[ReleaseInfo]\r\nVersion=2.1.1.0\r\n[Components.Register]\r\n"
              "MTSComponents=Comp40.dll\r\nCOMComponents=Comp80.dll\r\n");
  writeFile(configuration / "Q-Common.ini",
            "[ReleaseInfo]\r\nVersion=2.1.0.0\r\n[Databases.QOCommon]\r\nUser=c\r\n"
            "[Databases.QOMetabase]\r\nUser=m\r\n[Databases.QOMembership]\r\nUser=s\r\n");
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
    const bool library = packagePath.ends_with(".dll");
    fileVersion +=
        "[" + section + "]\r\nChecksum=" +
        (library ? "0" : customization::checksumText(customization::calculateCRC(content))) +
        "\r\n";
  }
  writeFile(configuration / "FileVersion.txt", fileVersion);
}

void writeRegistryFile(const fs::path& file, const fs::path& instMainDir) {
  writeFile(file,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]\r\n"
            "\"InstMainDir\"=\"" +
                instMainDir.string() +
                "\"\r\n\r\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\"
                "WebServerConfig]\r\n\"Hostname\"=\"BENCH01\"\r\n\r\n");
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
