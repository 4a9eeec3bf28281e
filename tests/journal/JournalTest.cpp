#include <gtest/gtest.h>

#include <fstream>

#include "journal/Journal.h"
#include "journal/RunState.h"
#include "platform/FileIO.h"
#include "support/Faults.h"
#include "support/TestSite.h"

namespace qsi::journal {
namespace {

namespace fs = std::filesystem;

// Each line is outside input: it is a record only when it is one the writer makes.
TEST(Journal, ALineIsARecordOnlyWhenItIsOneTheWriterMakes) {
  const struct {
    std::string line;
    std::string refusal;  // empty: read
  } cases[] = {
      {"replace\t/s/a\t000001\t12\t4660\t/p/a", ""},
      {"com\t/s/x.dll\tregister\t?", ""},
      {"replace\t/s/a\t000001\t12\t4660\t/p/a\t/s/.qsi-kept/run\t", ""},
      {"replace\t/s/a\t1\t12\t4\t/p\t/s/.qsi-kept/run\tmode", "field 7 is no file's attributes"},
      {"registry\tk\tn\t1\t\tnew\t4\t01000000", ""},
      {"registry\tk\tn\t1\t\tnew\t4\t0g", "field 7 is no hex bytes"},
      {"registry\tk\tn\t1\t\tnew\t04\t01", "field 6 is no number"},
      {"mts\tQO\t/s/x.dll\tremove", ""},
      {"begin\trun\tdate\tpid\t7", ""},
      {"metabase\tline\\none\\x01", ""},
      {"unknown\tx", "an unknown kind of record"},
      {"create\t/s/a", "1 fields, wrong for a create record"},
      {"end\textra", "1 fields, wrong for a end record"},
      {"replace\t/s/a\t1\t12x\t4\t/p", "field 3 is no number"},
      {"replace\t/s/a\t1\t-1\t4\t/p", "field 3 is no number"},
      {"placed\t/s/a\t1\t65536", "field 3 is no number"},
      {"begin\trun\tdate\tpid\t07", "field 4 is no number"},
      {"registry\tk\tn\t2\told\tnew", "field 3 is neither 1 nor 0"},
      {"com\t/s/x.dll\tregister\tyes", "field 3 is neither 1, 0 nor ?"},
      {"mts\tQO\t/s/x.dll\tadd", "field 3 is neither install nor remove"},
      {"mkdir\t/s/\\x01a", "field 1 holds a control character"},
      {"mkdir\t/s/\x01a", "a control character at byte 10"},
      {"mkdir\t/s/\\qa", "an unknown escape at byte 10"},
      {"mkdir\t/s/a\\", "a backslash at its end"},
  };
  for (const auto& c : cases) {
    const Parsed parsed = parse(c.line);
    EXPECT_EQ(parsed.refusal, c.refusal) << c.line;
    EXPECT_EQ(parsed.record.has_value(), c.refusal.empty()) << c.line;
    if (parsed.record) {
      EXPECT_EQ(encode(*parsed.record), c.line);
    }
  }
}

// A torn or altered frame is skipped alone, and the next record is read.
TEST(Journal, ATornRecordIsSkippedAloneAndAFailedAppendIsCutBack) {
  test::TestSite site;
  const fs::path folder = site.root / "run";
  test::FaultyFiles disk;
  disk.tearing = true;
  bool full = false;
  disk.full = [&](const fs::path&) { return full; };
  Journal journal(folder, disk);
  journal.write(Mkdir{"/s/one"});
  journal.write(Metabase{"a\tb\\\r\nc"});
  const auto size = fs::file_size(Journal::fileOf(folder));
  full = true;
  EXPECT_THROW(journal.write(Mkdir{"/s/lost"}), std::system_error);
  EXPECT_EQ(fs::file_size(Journal::fileOf(folder)), size);
  full = false;

  std::string text = platform::readFileBytes(Journal::fileOf(folder));
  const std::string first = text.substr(0, text.find('\n') + 1);
  std::string altered = first;
  altered[altered.size() - 3] = 'x';
  // A kill tore the middle record; an appender at its end starts a new line.
  std::ofstream(Journal::fileOf(folder), std::ios::trunc | std::ios::binary)
      << first << altered << text.substr(first.size()) << first.substr(0, 9);
  Journal(folder).write(End{});
  const Contents contents = Journal::read(folder);
  ASSERT_EQ(contents.records.size(), 3u);
  EXPECT_EQ(std::get<Metabase>(contents.records[1]).statement, "a\tb\\\r\nc");
  EXPECT_TRUE(std::holds_alternative<End>(contents.records[2]));
  EXPECT_EQ(contents.torn, std::vector<std::string>{"record 4: it was cut short"});
  EXPECT_EQ(contents.altered, std::vector<std::string>{
                                  "record 2: its frame does not fit its record, it was altered"});
  EXPECT_TRUE(contents.refused.empty());
  // Cut short anywhere is torn; any other frame that fails was altered.
  for (const auto& [line, torn] : {std::pair<std::string, bool>{"#12", true},
                                   {"#12 0bad", true},
                                   {"#12 0badf00d end", true},
                                   {"#3 0badf00d end", false},
                                   {"#2 0badf00d end", false},
                                   {"#12 0badf00x end", false},
                                   {"#12 0badf00d0 end", false},
                                   {"12 0badf00d end", false},
                                   {std::string(7, '\0'), true}}) {
    const Contents read = Journal::parse(first + line + "\n");
    EXPECT_EQ(read.torn.size(), torn ? 1u : 0u) << line;
    EXPECT_EQ(read.altered.size(), torn ? 0u : 1u) << line;
  }
}

// The counter gives each run the next number, and a hand-made one near the
// top refuses the run rather than wrap to a number no marker holds.
TEST(RunSequence, CountsOnAndRefusesACounterThatWouldWrap) {
  test::TestSite site;
  const fs::path root = site.root / "journals";
  fs::create_directories(root);
  EXPECT_EQ(takeSequence(root), 1u);
  EXPECT_EQ(takeSequence(root), 2u);
  platform::writeFileAtomically(root / "sequence", "9007199254740991\n");
  EXPECT_EQ(takeSequence(root), 9007199254740992u);
  EXPECT_THROW((void)takeSequence(root), std::system_error);
  EXPECT_EQ(platform::readFileBytes(root / "sequence"), "9007199254740992\n");
}

}  // namespace
}  // namespace qsi::journal
