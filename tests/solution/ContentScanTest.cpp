#include <gtest/gtest.h>

#include "solution/ContentScan.h"
#include "support/TestSite.h"

namespace qsi::solution {
namespace {

TEST(PathMaps, PackagePathToInstallationPathAndModule) {
  struct Case {
    const char* package;
    const char* installation;
    const char* module;
  };
  const Case cases[] = {
      {R"(Web\Q-Alder\default.asp)", R"(QO11\Q-Alder\default.asp)", "Q-Alder"},
      {R"(Web\Q-Oak\order.asp)", R"(QO11\Q-Oak\order.asp)", "Q-Maple"},
      {R"(Web\Q-Hazelnut\a\b.asp)", R"(QO11\Q-Hazelnut\a\b.asp)", "Q-Hazelnut"},
      {R"(Web\images\logo.gif)", R"(QO11\images\logo.gif)", "Q-Common"},
      {R"(Web\start.htm)", R"(QO11\start.htm)", "Q-Common"},
      {R"(Web\Q-Alder\Components\grid.js)", R"(QO11\Q-Alder\Components\grid.js)", "Q-Alder"},
      {R"(Sql\WebScripts\w.sql)", R"(QO11\WebScripts\w.sql)", "Q-Common"},
      {R"(Components\Bramble\Bramble.dll)", R"(Components\QAlder\Bramble.dll)", "Q-Alder"},
      {R"(Components\Brake_Fern.dll\b.dll)", R"(Components\QAlder\b.dll)", "Q-Alder"},
      {R"(Components\QAlder\sub\x.dll)", R"(Components\QAlder\x.dll)", "Q-Alder"},
      {R"(Components\QBackend\x.dll)", R"(Components\QCedar\x.dll)", "Q-Cedar"},
      {R"(Components\QOCommon\QOrchard.dll)", R"(Components\QOrchard\QOrchard.dll)", "Q-Common"},
      {R"(Components\QOBCBELookup\y.dll)", R"(Components\QOCommon\y.dll)", "Q-Common"},
      {R"(Components\QLarch\z.ocx)", R"(Components\QLarch\z.ocx)", "Q-Larch"},
      {R"(Components\QHazelnut\z.dll)", R"(Components\QHazelnut\z.dll)", "Q-Hazelnut"},
      {R"(Components\Foo\x.dll)", R"(Components\Foo\x.dll)", "Foo"},
      {R"(Components\x.dll)", R"(Components\QOCommon\x.dll)", "Q-Common"},
  };
  for (const Case& c : cases) {
    const std::string installation = getInstallationPath(c.package);
    EXPECT_EQ(installation, c.installation) << c.package;
    EXPECT_EQ(getModuleOfPath(installation), c.module) << c.package;
  }
  // Package paths of web files are not installation paths; prefixes need a folder.
  for (const char* path : {R"(Web\Q-Alder\default.asp)", R"(QO11\Q-Alder)", R"(Components\QAlder)"})
    EXPECT_EQ(getModuleOfPath(path), "Q-Common") << path;
  EXPECT_EQ(getFileName("c.dll"), "c.dll");
}

TEST(ContentScan, TakesWebAndComponentFoldersBelowTheRootInNameOrder) {
  test::TestSite site;
  for (const char* file :
       {"Web/Q-Alder/default.asp", "Web/Q-Alder/b.asp", "Web/Q-Alder/C.asp",
        "Web/Q-Alder/images/logo.gif", "Web/Q-Alder/vssver.scc", "Web/Q-Alder/Y.SCC", "Web/a.asp",
        "Components/Bramble/Bramble.dll", "Sql/WebScripts/w.sql", "Sql/s.sql",
        "configuration files/Solution.info", "Classes/com/x.class", "readme.txt"})
    site.writePackage(file, "x");
  const PackageListing listing = scanSolutionFolder(site.installer / "Solution");
  std::vector<std::string> content;
  for (const PackageEntry& entry : listing.entries)
    if (isContentFile(entry)) content.push_back(entry.packagePath);
  EXPECT_EQ(content,
            (std::vector<std::string>{
                R"(Components\Bramble\Bramble.dll)", R"(Sql\WebScripts\w.sql)", R"(Web\a.asp)",
                R"(Web\Q-Alder\b.asp)", R"(Web\Q-Alder\C.asp)", R"(Web\Q-Alder\default.asp)",
                R"(Web\Q-Alder\Y.SCC)", R"(Web\Q-Alder\images\logo.gif)"}));
  EXPECT_TRUE(listing.refused.empty());
}

}  // namespace
}  // namespace qsi::solution
