#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <sstream>

#include "platform/FileIO.h"
#include "support/TestSite.h"
#include "tools/Commands.h"

namespace qsi::tools {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result run(std::vector<std::string> args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = runQsolution(args, out, err);
  return {status, out.str(), err.str()};
}

std::vector<std::string> warnings(const std::string& err) {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);)
    if (line.starts_with("warning: ")) lines.push_back(line);
  return lines;
}

class Qsolution : public ::testing::Test {
 protected:
  test::TestSite site;
  fs::path root = site.installer / "Solution";

  void SetUp() override {
    fs::copy(fs::path(QSI_SOURCE_DIR) / "share" / "sample-package" / "Solution", root,
             fs::copy_options::recursive);
  }
};

// fileversion keeps the sections it does not write, sorted among its own,
// from a file in any encoding the installer reads.
TEST_F(Qsolution, FileVersionThenInspectThenOneChangedByte) {
  const fs::path fileVersion = root / "configuration files" / "FileVersion.txt";
  platform::writeFileAtomically(
      fileVersion,
      test::utf16Bytes(u"; shipped checksums\r\n[Zeta]\r\nChecksum=1\r\nOther=2\r\n"
                       u"[web\\q-alder\\default.asp]\r\nChecksum=OLD\r\nNote=keep\r\n"));
  EXPECT_EQ(run({"inspect", root.string()}).status, 1);
  const Result written = run({"fileversion", root.string()});
  ASSERT_EQ(written.status, 0) << written.err;
  const std::string text = platform::readFileBytes(fileVersion);
  EXPECT_TRUE(
      text.starts_with("; shipped checksums\r\n\r\n[Components\\Bramble\\Bramble.dll]\r\n"
                       "Checksum=0\r\n"))
      << text;
  EXPECT_NE(text.find("\r\nNote=keep\r\n\r\n[Web\\Q-Alder\\images\\logo.gif]"), std::string::npos);
  EXPECT_EQ(text.find("OLD"), std::string::npos);
  EXPECT_TRUE(text.ends_with("[Zeta]\r\nChecksum=1\r\nOther=2\r\n\r\n")) << text;

  const Result clean = run({"inspect", root.string()});
  EXPECT_EQ(clean.status, 0) << clean.err;
  EXPECT_TRUE(warnings(clean.err).empty());
  for (const char* shown :
       {"  QO11\\Q-Alder\\default.asp\n      module Q-Alder, shipped checksum ",
        "module Q-Alder, MTS component, shipped checksum 0, from Components\\Bramble\\Bramble.dll",
        "  1. Q-Alder_update.sql\n  2. Q-Alder_grants.sql\n"})
    EXPECT_NE(clean.out.find(shown), std::string::npos) << shown;

  const fs::path page = root / "Web" / "Q-Alder" / "default.asp";
  std::string bytes = platform::readFileBytes(page);
  bytes[bytes.size() / 2] ^= 0x20;
  platform::writeFileAtomically(page, bytes);
  // A library's bytes are checked too, unless it ships "0" (Bramble.dll's comes first).
  platform::writeFileAtomically(fileVersion, std::string(text).replace(text.find("=0"), 2, "=1"));
  const Result changed = run({"inspect", root.string()});
  EXPECT_EQ(changed.status, 1);
  const auto found = warnings(changed.err);
  ASSERT_EQ(found.size(), 2u) << changed.err;
  EXPECT_TRUE(
      found[0].starts_with("warning: Components\\Bramble\\Bramble.dll: shipped checksum 1 ") &&
      found[1].starts_with("warning: Web\\Q-Alder\\default.asp: shipped checksum "))
      << changed.err;
}

TEST_F(Qsolution, InspectNamesEachContradiction) {
  site.writePackage("Sql/Sequence.txt",
                    "Q-Alder_update.sql\r\n\r\nmissing.sql\r\n..\\x.sql\r\nconn.sql\r\n");
  site.writePackage("Sql/conn.sql", "USE DSN=QAlder;Database=X\r\nSELECT 1\r\n");
  site.writePackage("Web/Q-Birch/a.asp", "a");
  site.writePackage("Components/QOBCBELookup/y.txt", "y");
  site.writePackage("Components/QAlder/sub/QAlderUtil.dll", "twice");
  fs::permissions(root / "Web" / "Q-Oak" / "order.asp",
                  fs::perms::set_gid | fs::perms::others_write, fs::perm_options::add);
  // Read by the installer, but not by every reader; equal but for letter case.
  const fs::path descriptor = root / "configuration files" / "Solution.info";
  platform::writeFileAtomically(descriptor, "\xEF\xBB\xBF" + platform::readFileBytes(descriptor));
  site.writePackage("configuration files/Q-Maple.ini",
                    test::utf16Bytes(u"[ReleaseInfo]\r\nVersion=2.1.1.0\r\n"));
  fs::copy_file(root / "Web" / "Q-Alder" / "default.asp", root / "Web" / "Q-Alder" / "Default.asp");
  const Result inspect = run({"inspect", root.string()});
  EXPECT_EQ(inspect.status, 1);
  EXPECT_EQ(warnings(inspect.err),
            (std::vector<std::string>{
                "warning: Components\\QOBCBELookup\\y.txt: no Checksum in section "
                "[Components\\QOCommon\\y.txt] of FileVersion.txt",
                "warning: Web\\Q-Birch\\a.asp: no Checksum in section [Web\\Q-Birch\\a.asp] of "
                "FileVersion.txt",
                "warning: configuration files\\Solution.info: starts with a UTF-8 byte-order "
                "mark, which the installer reads past and ANSI readers take for text of the first "
                "line",
                "warning: configuration files\\Q-Maple.ini: is UTF-16 text, which the installer "
                "reads and ANSI readers do not; save it as ANSI or UTF-8",
                "warning: Components\\QAlder\\sub\\QAlderUtil.dll: installed at "
                "Components\\QAlder\\QAlderUtil.dll as Components\\QAlder\\QAlderUtil.dll is; the "
                "one listed later wins",
                "warning: Web\\Q-Alder\\default.asp: installed at QO11\\Q-Alder\\Default.asp as "
                "Web\\Q-Alder\\Default.asp is; the one listed later wins",
                "warning: Web\\Q-Alder\\default.asp: differs from Web\\Q-Alder\\Default.asp in "
                "letter case only; Windows holds one of the two",
                "warning: Web\\Q-Oak\\order.asp: has a set-id bit; the installer drops it",
                "warning: Web\\Q-Oak\\order.asp: is writable by everyone; installed, it is not",
                "warning: Sql\\Sequence.txt: line 2 names no script",
                "warning: Sql\\missing.sql: listed in Sequence.txt (line 3) but does not exist",
                "warning: Sql\\Sequence.txt: line 4 (\"..\\x.sql\"): the name holds \"\\\"; the "
                "installer runs only scripts named by their file name in Sql",
                "warning: Sql\\conn.sql: the first line names \"DSN=QALDER;DATABASE=X\", which is "
                "no data source name (it holds one of = ; { }); the installer runs nothing of it",
                "warning: Sql\\Q-Alder_grants.sql: not listed in Sequence.txt; the installer "
                "never runs it",
                "warning: Web\\Q-Birch: its files belong to module Q-Birch, which has no "
                "definition file Q-Birch.ini"}));

  fs::create_symlink(site.registryFile, root / "Web" / "Q-Alder" / "reg.asp");
  site.writePackage("Web/Q-Alder/aux.txt", "a device on Windows");
  const Result refused = run({"inspect", root.string()});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(
      warnings(refused.err),
      (std::vector<std::string>{
          "warning: Web\\Q-Alder\\aux.txt: the name is that of a device on Windows (AUX); "
          "the installer refuses the package",
          "warning: Web\\Q-Alder\\reg.asp: it is a link; the installer refuses the package"}));

  fs::remove(root / "Web" / "Q-Alder" / "reg.asp");
  fs::remove(root / "Web" / "Q-Alder" / "aux.txt");
  site.writePackage("configuration files/Q-Maple.ini", "[ReleaseInfo]\r\nVersion=2.1.1.x\r\n");
  const Result unversioned = run({"inspect", root.string()});
  EXPECT_EQ(unversioned.status, 2);
  EXPECT_EQ(warnings(unversioned.err),
            std::vector<std::string>{"warning: configuration files\\Q-Maple.ini: the Version "
                                     "\"2.1.1.x\" of section ReleaseInfo is no version of up to "
                                     "four numbers; the installer refuses the package"});
}

TEST_F(Qsolution, UnreadablePackagesAndChecksums) {
  fs::remove(root / "configuration files" / "Solution.info");
  const Result noDescriptor = run({"inspect", root.string()});
  EXPECT_EQ(noDescriptor.status, 2);
  EXPECT_NE(noDescriptor.err.find("Solution.info: Solution.info file not available at: "),
            std::string::npos);

  const fs::path abc = site.write("abc.asp", "abc");
  const Result sums = run({"checksum", abc.string(), (site.root / "nope").string()});
  EXPECT_EQ(sums.status, 2);
  EXPECT_EQ(sums.out, "CADB  " + abc.string() + "\n");
  EXPECT_NE(sums.err.find("nope: no such file"), std::string::npos);
}

TEST_F(Qsolution, BuiltProgramReportsItsExitStatus) {
  const std::string quiet = " >/dev/null 2>&1";
  const auto status = [&](const std::string& arguments) {
    return WEXITSTATUS(std::system((std::string(QSOLUTION_EXE) + arguments + quiet).c_str()));
  };
  EXPECT_EQ(status(" inspect --help"), 0);
  EXPECT_EQ(status(" inspect '" + root.string() + "'"), 0);
  EXPECT_EQ(status(" nonsense"), 2);
  EXPECT_EQ(status(" --version"), 0);
  EXPECT_EQ(status(" --version --bogus"), 2);
}

}  // namespace
}  // namespace qsi::tools
