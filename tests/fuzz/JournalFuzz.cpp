#include <algorithm>

#include "fuzz/Fuzz.h"
#include "journal/Journal.h"

// A journal's bytes give records that the writer writes back the same, no
// more records than lines, and a record taken from a line never holds part
// of the next one.
using namespace qsi::journal;
using namespace qsi::fuzz;

QSI_FUZZ_TARGET {
  const std::string_view text = textOf(data, size);
  const Contents contents = Journal::parse(text);
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  check(contents.records.size() + contents.refused.size() <= lines, "one record a line at most",
        text);
  for (const Record& record : contents.records) {
    const std::string line = encode(record);
    check(line.find_first_of("\n\r") == std::string::npos, "a record is one line", text);
    const Parsed again = parse(line);
    check(again.record && encode(*again.record) == line, "a record reads back as written", text);
  }
  return 0;
}
