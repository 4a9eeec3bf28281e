#include <gtest/gtest.h>

#include "control/FileSelection.h"
#include "support/MetabaseFixture.h"
#include "support/TestSite.h"

namespace qsi::control {
namespace {

using test::fileEntry;
using test::moduleInfo;

TEST(DetermineWhatToInstall, InstallsOnlyFilesOfNewerModules) {
  test::TestSite site;
  solution::SolutionInfo info;
  info.modules = {moduleInfo("Q-Alder", "2.1.1.0"), moduleInfo("Q-Common", "2.1.0.0"),
                  moduleInfo("Q-Maple", "1.0")};
  // Stale flags are overwritten.
  info.files = {fileEntry("QO11\\Q-Alder\\a.asp", "Q-Alder", true),
                fileEntry("QO11\\b.asp", "Q-Common", true),
                fileEntry("QO11\\Q-Oak\\c.asp", "Q-Maple", true),
                fileEntry("Components\\Foo\\x.dll", "Foo", true),
                fileEntry("QO11\\Q-Alder\\d.asp", "Q-Alder", false)};
  site::SiteInfo installed;
  installed.Modules = {moduleInfo("Q-Alder", "2.1.0.0"), moduleInfo("Q-Common", "2.1.0.0"),
                       moduleInfo("Foo", "1.0")};
  determineWhatToInstall(site.env, info, installed);

  std::vector<bool> flags;
  for (const auto& e : info.files) flags.push_back(e.install);
  EXPECT_EQ(flags, (std::vector<bool>{true, false, true, false, true}));
  const std::string stars(88, '*');
  const std::string header = stars +
                             "\r\nThis logfile contains information about the installsection: "
                             "FilesToBeInstalled\r\n" +
                             stars + "\r\n\r\n";
  EXPECT_EQ(site.logText("FilesToBeInstalled"),
            header +
                "  Install : QO11\\Q-Alder\\a.asp\r\n"
                "  Skip : QO11\\b.asp -> Original ver: 2.1.0.0 - New Ver : 2.1.0.0\r\n"
                "  Install : QO11\\Q-Oak\\c.asp\r\n"
                "  Skip : Components\\Foo\\x.dll -> Original ver: 1.0 - New Ver : \r\n"
                "  Install : QO11\\Q-Alder\\d.asp\r\n");

  test::TestSite empty;  // an empty file list logs only the header
  solution::SolutionInfo none;
  determineWhatToInstall(empty.env, none, installed);
  EXPECT_EQ(empty.logText("FilesToBeInstalled"), header);
}

}  // namespace
}  // namespace qsi::control
