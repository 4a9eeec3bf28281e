#pragma once

#include <gtest/gtest.h>

#include "checksum/Checksum.h"
#include "platform/Paths.h"
#include "support/MetabaseFixture.h"

namespace qsi::test {

inline const std::string kOldPage = "<html>Q-Alder 2.1.0.0</html>\r\n";
inline const std::string kOurPage = "<html>Q-Alder 2.1.0.0 with our banner</html>\r\n";
inline const std::string kNewPage = "<html>Q-Alder 2.1.1.0</html>\r\n";

// A server with Q-Alder 2.1.0.0 (its page customized) and Q-Common installed.
class SuiteSite : public MetabaseTest {
 protected:
  SuiteSite() {
    writeRegistry("2.1.0.0", "2.1.0.0");
    site.write("inst/QO11/Q-Alder/default.asp", kOurPage);
    site.write("inst/Components/QAlder/Bramble.dll", "old component");
  }

  void SetUp() override {
    MetabaseTest::SetUp();
    if (IsSkipped()) return;
    addMetabase();
    for (const std::string& row : std::initializer_list<std::string>{
             "OBJECT(MACHINE,SERVER,MODULE,OBJECT,CHECKSUM) VALUES ('WEB01','WebServer','Q-Alder',"
             "'QO11\\Q-Alder\\default.asp','" +
                 checksumOf(kOldPage) + "')",
             "MODULE(MACHINE,SERVER,MODULE,VERSION) VALUES ('WEB01','WebServer','Q-Alder','2.1.0')",
             "SERVER(MACHINE,SERVER,SERVICEPACK) VALUES ('WEB01','WebServer','')"})
      sources.exec("QOMetabase", "INSERT INTO " + row);
    sources.addSqlite("QAlder", false);
    sources.exec("QAlder", "CREATE TABLE SETTINGS (NAME VARCHAR(64), VALUE VARCHAR(64))");
  }
  // The data source "QOMetabase" with the Metabase tables.
  virtual void addMetabase() { sources.addSqlite("QOMetabase"); }

  void writeRegistry(const std::string& alder, const std::string& common,
                     const std::string& more = {}) const {
    site.writeRegistry(
        kConfig + "WebServerConfig]\r\n\"Hostname\"=\"WEB01\"\r\n" + kConfig +
        "WebServerConfig\\SQL Server]\r\n\"Server\"=\"SQL01\"\r\n" + kConfig +
        "WebServerConfig\\Modules\\Q-Alder]\r\n\"Installed\"=\"1\"\r\n\"AppVersion\"=\"" + alder +
        "\"\r\n" + kConfig + "WebServerConfig\\Modules\\Q-Common]\r\n\"Installed\"=\"1\"\r\n" +
        "\"AppVersion\"=\"" + common + "\"\r\n" + kConfig +
        "DbServerConfig\\Modules\\Q-Alder]\r\n" + more);
  }

  std::string checksumOf(const std::string& content) const {
    return checksum::getFileChecksum(site.write("checksum.tmp", content));
  }

  // Q-Alder 2.1.1.0 with a page, an MTS component and two scripts.
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

  // The service pack with every other kind of entry and an MTS package.
  void writeEveryKindPackage() const {
    writePackage("ServicePack");
    site.writePackage("configuration files/Q-Alder.ini",
                      "[ReleaseInfo]\r\nVersion=2.1.1.0\r\n[Components.Register]\r\n"
                      "MTSComponents=Bramble.dll\r\nCOMComponents=QAlderUtil.dll\r\n");
    site.writePackage("configuration files/Q-Common.ini", "[ReleaseInfo]\r\nVersion=2.1.0.0\r\n");
    site.writePackage("configuration files/Q-Maple.ini", "[ReleaseInfo]\r\nVersion=2.1.1.0\r\n");
    site.writePackage("Web/Q-Oak/order.asp", "order");  // new to the site, kept in the record
    site.writePackage("Web/Q-Alder/new/page.asp", "new page");
    site.writePackage("Components/QAlder/QAlderUtil.dll", "util");
    site.writePackage("Classes/com/corvane/Alder.class", "class");
    site.writePackage("Web/images/logo.gif", "logo");
    site.writePackage("Sql/Sequence.txt", "b.sql\r\n..\\x.sql\r\na.sql\r\n");
    const std::string package =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Transaction Server\\Packages\\{P}";
    writeRegistry(
        "2.1.0.0", "2.1.0.0",
        package + "]\r\n\"Name\"=\"Q-Orchard\"\r\n" + package + "\\Components\\0]\r\n\"DLL\"=\"" +
            regText((site.instMainDir / "Components/QAlder/Bramble.dll").string()) + "\"\r\n" +
            package + "\\Components\\1]\r\n\"DLL\"=\"" +
            regText(site.write("inst/Components/QOCommon/Other.dll", "other").string()) + "\"\r\n" +
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\QSolutionInstaller\\"
            "ComRegistrations]\r\n");
  }

  [[nodiscard]] virtual std::optional<std::string> registryValue(const std::string& key,
                                                                 const std::string& name) const {
    return site.registry.readValue(key, name);
  }
  [[nodiscard]] std::string appVersion(const std::string& section) const {
    return registryValue("SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\" + section +
                             "Config\\Modules\\Q-Alder",
                         "AppVersion")
        .value_or("<none>");
  }
};

}  // namespace qsi::test
