#include <gtest/gtest.h>

#include "control/FileSelection.h"
#include "support/TestSite.h"

namespace qsi::control {
namespace {

solution::ModuleInfo module(std::string name, std::string version) {
  solution::ModuleInfo m;
  m.name = std::move(name);
  m.version = std::move(version);
  return m;
}

solution::FileEntry file(std::string path, std::string moduleName) {
  solution::FileEntry e;
  e.path = std::move(path);
  e.module = std::move(moduleName);
  e.install = true;  // stale flags are overwritten
  return e;
}

TEST(DetermineWhatToInstall, InstallsOnlyFilesOfNewerModules) {
  test::TestSite site;
  solution::SolutionInfo info;
  info.modules = {module("Q-Alder", "2.1.1.0"), module("Q-Common", "2.1.0.0"),
                  module("Q-Maple", "1.0")};
  info.files = {file("QO11\\Q-Alder\\a.asp", "Q-Alder"), file("QO11\\b.asp", "Q-Common"),
                file("QO11\\Q-Oak\\c.asp", "Q-Maple"), file("Components\\Foo\\x.dll", "Foo"),
                file("QO11\\Q-Alder\\d.asp", "Q-Alder")};
  site::SiteInfo installed;
  installed.Modules = {module("Q-Alder", "2.1.0.0"), module("Q-Common", "2.1.0.0"),
                       module("Foo", "1.0")};
  determineWhatToInstall(site.env, info, installed);

  std::vector<bool> flags;
  for (const auto& e : info.files) flags.push_back(e.install);
  EXPECT_EQ(flags, (std::vector<bool>{true, false, true, false, true}));
  const std::string stars(88, '*');
  EXPECT_EQ(site.logText("FilesToBeInstalled"),
            stars +
                "\r\nThis logfile contains information about the installsection: "
                "FilesToBeInstalled\r\n" +
                stars +
                "\r\n\r\n"
                "  Install : QO11\\Q-Alder\\a.asp\r\n"
                "  Skip : QO11\\b.asp -> Original ver: 2.1.0.0 - New Ver : 2.1.0.0\r\n"
                "  Install : QO11\\Q-Oak\\c.asp\r\n"
                "  Skip : Components\\Foo\\x.dll -> Original ver: 1.0 - New Ver : \r\n"
                "  Install : QO11\\Q-Alder\\d.asp\r\n");
}

TEST(DetermineWhatToInstall, AnEmptyFileListLogsOnlyTheHeader) {
  test::TestSite site;
  solution::SolutionInfo info;
  determineWhatToInstall(site.env, info, site::SiteInfo{});
  EXPECT_TRUE(site.logText("FilesToBeInstalled").ends_with(std::string(88, '*') + "\r\n\r\n"));
}

}  // namespace
}  // namespace qsi::control
