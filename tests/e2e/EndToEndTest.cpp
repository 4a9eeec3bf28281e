#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "actions/Services.h"
#include "customization/Checksum.h"
#include "e2e/InstallerRun.h"
#include "metabase/MetabaseFixture.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace qsi::test {
namespace {

namespace fs = std::filesystem;

const std::string kConfig =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\";
const std::string kOldPage = "<html>Q-Alder 2.1.0.0</html>\r\n";
const std::string kOurPage = "<html>Q-Alder 2.1.0.0 with our banner</html>\r\n";
const std::string kNewPage = "<html>Q-Alder 2.1.1.0</html>\r\n";

// A server with Q-Alder 2.1.0.0 and Q-Common installed, a SQLite Metabase
// that recorded the installed page, and the built installer beside a package.
class EndToEnd : public MetabaseTest {
 protected:
  InstallerRun program{site};

  EndToEnd() {
    writeRegistry("2.1.0.0", "2.1.0.0");
    site.write("inst/QO11/Q-Alder/default.asp", kOurPage);
    site.write("inst/Components/QAlder/Bramble.dll", "old component");
  }

  void SetUp() override {
    MetabaseTest::SetUp();
    if (IsSkipped()) return;
    sources.addSqlite("QOMetabase");
    sources.exec("QOMetabase",
                 "INSERT INTO OBJECT(MACHINE,SERVER,MODULE,OBJECT,CHECKSUM) VALUES ('WEB01',"
                 "'WebServer','Q-Alder','QO11\\Q-Alder\\default.asp','" +
                     checksumOf(kOldPage) + "')");
    sources.exec("QOMetabase",
                 "INSERT INTO MODULE(MACHINE,SERVER,MODULE,VERSION) VALUES "
                 "('WEB01','WebServer','Q-Alder','2.1.0')");
    sources.exec("QOMetabase",
                 "INSERT INTO SERVER(MACHINE,SERVER,SERVICEPACK) VALUES ('WEB01','WebServer','')");
    sources.addSqlite("QAlder", false);
    sources.exec("QAlder", "CREATE TABLE SETTINGS (NAME VARCHAR(64), VALUE VARCHAR(64))");
  }

  void writeRegistry(const std::string& alder, const std::string& common) const {
    site.writeRegistry(
        kConfig + "WebServerConfig]\r\n\"Hostname\"=\"WEB01\"\r\n" + kConfig +
        "WebServerConfig\\SQL Server]\r\n\"Server\"=\"SQL01\"\r\n" + kConfig +
        "WebServerConfig\\Modules\\Q-Alder]\r\n\"Installed\"=\"1\"\r\n\"AppVersion\"=\"" + alder +
        "\"\r\n" + kConfig + "WebServerConfig\\Modules\\Q-Common]\r\n\"Installed\"=\"1\"\r\n" +
        "\"AppVersion\"=\"" + common + "\"\r\n" + kConfig +
        "DbServerConfig\\Modules\\Q-Alder]\r\n");
  }

  std::string checksumOf(const std::string& content) const {
    const fs::path file = site.write("checksum.tmp", content);
    return customization::getFileChecksum(file);
  }

  // A package of `type` for Q-Alder 2.1.1.0 with a page, an MTS component
  // and two scripts; `withFiles` false leaves only the scripts.
  void writePackage(const std::string& type, bool withFiles = true) const {
    site.writePackage(
        "configuration files/Solution.info",
        "[ReleaseInfo]\r\nProductName=Q-Alder\r\nVersion=2.1.1.0\r\nSolutionType=" + type +
            "\r\n[Dependency]\r\nProductName=Q-Alder\r\nVersion=2.1.0.0\r\n"
            "CommonVersion=2.1.0.0\r\n");
    site.writePackage("configuration files/Q-Alder.ini",
                      "[ReleaseInfo]\r\nVersion=2.1.1.0\r\n[Components.Register]\r\n"
                      "MTSComponents=Bramble.dll\r\n");
    if (withFiles) {
      site.writePackage("Web/Q-Alder/default.asp", kNewPage);
      site.writePackage("Components/Bramble/Bramble.dll", "new component");
      site.writePackage("configuration files/FileVersion.txt",
                        "[Web\\Q-Alder\\default.asp]\r\nChecksum=" + checksumOf(kNewPage) + "\r\n");
    }
    site.writePackage("Sql/Sequence.txt", "b.sql\r\na.sql\r\n");
    site.writePackage("Sql/a.sql", "USE QAlder\r\nINSERT INTO SETTINGS VALUES ('a', '2')");
    site.writePackage("Sql/b.sql", "use qalder\r\nINSERT INTO SETTINGS VALUES ('b', '1')");
  }

  ProcessResult run(const std::string& input) const { return program.run(input); }

  [[nodiscard]] std::string runFolderName() const {
    const auto logs = site.instMainDir / "QOLog";
    return fs::is_directory(logs) ? fs::directory_iterator(logs)->path().filename().string() : "";
  }
  [[nodiscard]] std::string appVersion(const std::string& section) const {
    return program
        .registryValue("SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\" + section +
                           "Config\\Modules\\Q-Alder",
                       "AppVersion")
        .value_or("<none>");
  }
  // The run's logs in name order, each after a "=== name" line, with the
  // run's date and the site's folders written <DATE>, <INSTALLER> and <INST>
  // and the separators of those paths written "/": what is left reads the
  // same on every platform. The NT services' logs are left out: they tell
  // what the machine's own services did.
  [[nodiscard]] std::string portableLogs() const {
    const fs::path folder = site.instMainDir / "QOLog" / runFolderName();
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    const std::string date = sources.rows(
        "QOMetabase", "SELECT INSTALLATIONDATESP FROM SERVER WHERE SERVER = 'WebServer'")[0][0];
    const std::pair<std::string, std::string> folders[] = {
        {platform::displayPath(site.installer), "<INSTALLER>"},
        {platform::displayPath(site.instMainDir), "<INST>"}};
    std::string out;
    for (const auto& name : names) {
      if (name == "Stop Services.txt" || name == "Start Services.txt") continue;
      out += "=== " + name + "\n";
      const std::vector<std::string> lines = platform::split(readText(folder / name), '\n');
      for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = platform::replaceAll(lines[i], date, "<DATE>");
        for (const auto& [path, mark] : folders) {
          const auto at = line.find(path);
          if (at != std::string::npos)
            line = line.substr(0, at) + mark +
                   platform::replaceAll(line.substr(at + path.size()), "\\", "/");
        }
        if (i + 1 == lines.size()) {
          if (!line.empty()) out += line + "<no line break at the end>\n";
        } else {
          out += line.ends_with('\r') ? line.substr(0, line.size() - 1) + "\n"
                                      : line + "<LF without CR>\n";
        }
      }
    }
    return out;
  }
  // The folder of a run's logs or saved files as the closing message names it.
  [[nodiscard]] std::string shownFolder(const std::string& kind) const {
    return platform::displayPath(site.instMainDir / kind / runFolderName(), true) + ".";
  }
};

// Start, Retrieve (password, two boxes), report, Start, closing box.
const std::string kInstall = "1\nsecret\n\n\n\n3\n\n2\n\n";

TEST_F(EndToEnd, ServicePackInstallsFilesComponentsScriptsAndRecordsThem) {
  writePackage("ServicePack");
  const ProcessResult result = run(kInstall);
  ASSERT_EQ(result.status, 0) << result.out << result.err;

  const std::string stamp = runFolderName();
  EXPECT_EQ(readText(site.instMainDir / "QO11/Q-Alder/default.asp"), kNewPage);
  EXPECT_EQ(readText(site.instMainDir / "QOCustomized" / stamp / "QO11/Q-Alder/default.asp"),
            kOurPage);
  EXPECT_EQ(readText(site.instMainDir / "Components/QAlder/Bramble.dll"), "new component");
  std::string stopCalls;
  for (const auto& service : actions::getQOServices()) stopCalls += "stop.exe " + service + "\n";
  EXPECT_EQ(program.calls(), InstallerRun::kServiceCommandsNoted
                                 ? "net stop IISADMIN /y\nnet stop LDAPSVC /y\nnet stop W3SVC /y\n"
                                   "mtxstop \n" +
                                       stopCalls +
                                       "net start IISADMIN\nnet start LDAPSVC\nnet start W3SVC\n"
                                 : stopCalls);
  EXPECT_NE(readText(site.instMainDir / "QOLog" / stamp / "Stop Q-Orchard Services.txt")
                .find("  Error while stopping: qosvc05.exe (service may not exist or may "
                      "already be stopped)\r\n"),
            std::string::npos);

  EXPECT_EQ(sources.rows("QAlder", "SELECT NAME FROM SETTINGS ORDER BY rowid"),
            (std::vector<std::vector<std::string>>{{"b"}, {"a"}}));
  EXPECT_EQ(
      sources.rows("QOMetabase",
                   "SELECT OBJECT, CHECKSUM FROM OBJECT WHERE MACHINE='WEB01' ORDER BY OBJECT"),
      (std::vector<std::vector<std::string>>{
          {"Components\\QAlder\\Bramble.dll", ""},
          {"QO11\\Q-Alder\\default.asp", checksumOf(kNewPage)}}));
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT VERSION FROM MODULE WHERE MODULE='Q-Alder'"),
            std::vector<std::vector<std::string>>{{"2.1.1"}});
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT SERVICEPACK FROM SERVER"),
            std::vector<std::vector<std::string>>{{"2.1.1.0 "}});
  EXPECT_EQ(appVersion("WebServer"), "2.1.1");
  EXPECT_EQ(appVersion("DbServer"), "2.1.1");
  EXPECT_FALSE(fs::exists(program.windowsFolder() / "java"));  // the package has no classes

  // The report, and the closing box naming the folders this run wrote.
  EXPECT_NE(result.out.find("Customizations\n"), std::string::npos);
  const std::string logs = shownFolder("QOLog");
  const std::string saved = shownFolder("QOCustomized");
  EXPECT_NE(result.out.find("[Q-SolutionInstaller]\nThe setup program has finished updating "
                            "Q-Alder.\n\nThe logfiles are written to the location: \n" +
                            logs + "\nThe Customized files are written to the location: \n" +
                            saved + "\n[OK]\n"),
            std::string::npos)
      << result.out;
  for (const char* log :
       {"Gathering Solution Information", "Gathering Current Site Information", "Customizations",
        "FilesToBeInstalled", "Stop Services", "FileCopy", "Register Components", "Metabase",
        "Start Services", "SQL Script - a.sql", "SQL Script - b.sql", "SQLfilesToBeInserted"})
    EXPECT_TRUE(fs::exists(site.instMainDir / "QOLog" / stamp / (std::string(log) + ".txt")))
        << log;
}

TEST_F(EndToEnd, SolutionWithScriptsOnlyRunsTheDatabasePartAndLeavesTheRegistry) {
  writePackage("Solution", false);
  const ProcessResult result = run("1\nsecret\n\n\n\n2\n\n");
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(program.calls(), "");
  EXPECT_EQ(sources.rows("QAlder", "SELECT COUNT(*) FROM SETTINGS"),
            std::vector<std::vector<std::string>>{{"2"}});
  EXPECT_EQ(sources.rows("QOMetabase", "SELECT MACHINE, SERVER, PATCH FROM PATCH"),
            (std::vector<std::vector<std::string>>{{"SQL01", "DbServer", "0"}}));
  EXPECT_EQ(appVersion("WebServer"), "2.1.0.0");
  EXPECT_EQ(appVersion("DbServer"), "<none>");
  const std::string logs = shownFolder("QOLog");
  EXPECT_NE(result.out.find("The logfiles are written to the location: \n" + logs + "\n\n[OK]"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(result.out.find("Customized files"), std::string::npos);
}

TEST_F(EndToEnd, CancelRetryCancelAtThePasswordEndsTheProgram) {
  writePackage("ServicePack");
  const ProcessResult result = run("1\ntyped\nc\nr\nagain\ncancel\nC\n\n");
  EXPECT_EQ(result.status, 2) << result.out;
  const std::regex flow(
      "SQL Server Login Data\nSA Password: \n\\[OK\\] \\[Cancel\\]\n"
      "\\[Q-SollutionInstaller\\]\nThe installer cannot proceed without the SA Password\n"
      "\\[Retry\\] \\[Cancel\\]\n"
      "SQL Server Login Data\nSA Password: \n\\[OK\\] \\[Cancel\\]\n"
      "\\[Q-SollutionInstaller\\]\nThe installer cannot proceed without the SA Password\n"
      "\\[Retry\\] \\[Cancel\\]\n"
      "\\[Q-SolutionInstaller\\]\nThe installer is about to exit\n\\[OK\\]\n");
  EXPECT_TRUE(std::regex_search(result.out, flow)) << result.out;
  EXPECT_EQ(readText(site.instMainDir / "QO11/Q-Alder/default.asp"), kOurPage);
}

TEST_F(EndToEnd, ARefusingCheckEndsTheProgramWithItsMessage) {
  writePackage("ServicePack");
  const struct {
    std::string alder, common, message;
  } cases[] = {
      {"2.2.0.0", "2.1.0.0", "Q-Alder is already up to date!"},
      {"", "2.1.0.0", "Q-Alder is not installed yet,\n please install this product first!"},
      {"2.1.0.0", "2.0", "Q-Common version 2.1.0.0 is not installed yet,\n please install"},
  };
  for (const auto& c : cases) {
    writeRegistry(c.alder, c.common);
    if (c.alder.empty())
      site.writeRegistry(kConfig +
                         "WebServerConfig\\Modules\\Q-Common]\r\n\"AppVersion\"=\"2.1\"\r\n");
    const ProcessResult result = run("1\nsecret\n\n\n\n");
    EXPECT_EQ(result.status, 2) << c.message << "\n" << result.out;
    EXPECT_NE(result.out.find("[QSolutionInstaller]\n" + c.message), std::string::npos)
        << result.out;
  }
  EXPECT_EQ(readText(site.instMainDir / "QO11/Q-Alder/default.asp"), kOurPage);
}

TEST_F(EndToEnd, AnUnhandledFailureEndsTheProgramWithItsDescription) {
  writePackage("ServicePack");
  site.writeRegistry();  // no module keys at all
  const ProcessResult result = run("1\nsecret\n\n\n\n\n");
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("Key not available in registry: "), std::string::npos);
  EXPECT_NE(result.out.find("Could not read the Siteinformation."), std::string::npos)
      << result.out;
}

// Apart from the paths and the date, the logs of one installation read the
// same on every platform, byte for byte.
TEST_F(EndToEnd, TheLogsOfAServicePackAreTheSameOnEveryPlatform) {
  writePackage("ServicePack");
  const ProcessResult result = run(kInstall);
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(portableLogs(),
            readText(fs::path(QSI_SOURCE_DIR) / "tests" / "e2e" / "ServicePackLogs.txt"));

  // Where stand-ins run net and mtxstop, they succeed; under Wine, net
  // refuses "/y" and knows none of these services, and there is no mtxstop.
  const bool succeed = InstallerRun::kServiceCommandsNoted;
  std::string stop = "\r\n* Begin stopping the Windows NT services *\r\n\r\n";
  std::string start = "\r\n* Begin starting the Windows NT services *\r\n\r\n";
  for (const std::string service : {"IISADMIN", "LDAPSVC", "W3SVC"}) {
    stop += "  Stopping service: " + service + "\r\n  " +
            (succeed ? "Stopped service : " + service
                     : "Error while stopping: " + service +
                           " (service may not exist or may already be stopped)") +
            "\r\n";
    start += "  Starting service: " + service + "\r\n  " +
             (succeed ? "Started service : " + service
                      : "Error while starting: " + service +
                            " (service may not exist or may already be started)") +
             "\r\n";
  }
  stop += succeed ? "  Stopped service : MTS\r\n" : "  Error while stopping: MTS\r\n";
  stop += "  \r\n\r\n* End stopping the Windows NT services *\r\n\r\n";
  start += "\r\n* End starting the Windows NT services *\r\n\r\n";
  const fs::path logs = site.instMainDir / "QOLog" / runFolderName();
  EXPECT_TRUE(readText(logs / "Stop Services.txt").ends_with(stop))
      << readText(logs / "Stop Services.txt");
  EXPECT_TRUE(readText(logs / "Start Services.txt").ends_with(start))
      << readText(logs / "Start Services.txt");
}

}  // namespace
}  // namespace qsi::test
