#include <gtest/gtest.h>

#include "log/CLog.h"
#include "platform/Failure.h"
#include "support/Faults.h"
#include "support/TestSite.h"

namespace qsi::log {
namespace {

namespace fs = std::filesystem;

const std::string kStars(88, '*');

TEST(CLog, FirstOpenMakesFoldersAndHeaderSecondOpenAppends) {
  test::TestSite site;
  ASSERT_FALSE(fs::exists(site.instMainDir / "QOLog"));
  {
    CLog log(site.env);
    log.openLogFile("SQL Script - CREATE~1.SQL");
    log.writeSection("Caption");
    log.writeLine("Begin\r\nSELECT 1\x1b[2J");  // a name from outside cannot drive a terminal
    log.closeLogFile();
  }
  CLog again(site.env);
  again.openLogFile("SQL Script - CREATE~1.SQL");
  again.writeLine("second");
  again.writeHeader("ignored: the file exists, but writeHeader writes when open");
  again.closeLogFile();

  const fs::path file = site.instMainDir / "QOLog" / site.env.stamp.installDateAndTimeFormat /
                        "SQL Script - CREATE~1.SQL.txt";
  EXPECT_EQ(test::readText(file),
            kStars +
                "\r\nThis logfile contains information about the installsection: "
                "SQL Script - CREATE~1.SQL\r\n" +
                kStars + "\r\n\r\n" + "\r\n* Caption *\r\n\r\n  Begin\r\nSELECT 1\\x1B[2J\r\n" +
                "  second\r\n" + kStars +
                "\r\nignored: the file exists, but writeHeader writes when open\r\n" + kStars +
                "\r\n\r\n");
}

TEST(CLog, OpenFailsWithoutALogRootOrWhenItsParentIsMissing) {
  test::TestSite site;
  platform::Environment env = site.env;
  env.logRoot.clear();
  // No folder must not put logs at the root or the working folder.
  EXPECT_NE(test::thrownText([&] { CLog(env).openLogFile("FileCopy"); }).find("no folder"),
            std::string::npos);
  env.logRoot = site.root / "no" / "such";
  EXPECT_THROW(CLog(env).openLogFile("FileCopy"), platform::Failure);
  EXPECT_FALSE(fs::exists(site.root / "no"));  // only one level is made
}

}  // namespace
}  // namespace qsi::log
