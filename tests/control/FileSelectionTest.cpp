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
  installed.modules = {moduleInfo("Q-Alder", "2.1.0.0"), moduleInfo("Q-Common", "2.1.0.0"),
                       moduleInfo("Foo", "1.0")};
  determineWhatToInstall(site.env, info, installed);

  std::vector<bool> flags;
  for (const auto& e : info.files) flags.push_back(e.install);
  EXPECT_EQ(flags, (std::vector<bool>{true, false, true, false, true}));
  EXPECT_NE(site.logText("FilesToBeInstalled")
                .find("  Skip : Components\\Foo\\x.dll -> Original ver: 1.0 - New Ver : \r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace qsi::control
