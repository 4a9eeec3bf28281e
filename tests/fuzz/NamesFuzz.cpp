#include <regex>

#include "fuzz/Fuzz.h"
#include "platform/Paths.h"

// A path joined below a folder lies below it or is refused, an accepted name is a child
// of the folder that Windows holds as it is written, and escaped text can neither forge a
// line nor drive a terminal.
using namespace qsi::platform;
using namespace qsi::fuzz;

QSI_FUZZ_TARGET {
  const std::string_view text = textOf(data, size);
  const std::filesystem::path base = "/srv/inst/Solution";
  const auto joined = joinBelow(base, text);
  check(!joined || liesBelow(base, *joined), "joinBelow lies below the base", text);
  if (!nameProblem(text) && !windowsNameProblem(text)) {
    check(joined && joined->parent_path() == base && joined->filename() == text,
          "an accepted name is a child of the base", text);
    static const std::regex device("(con|nul|aux|prn|com[1-9]|lpt[1-9]) *(\\..*)?",
                                   std::regex::icase);
    check(!std::regex_match(text.begin(), text.end(), device),
          "an accepted name is no device of Windows", text);
    check(text.find_first_of(":*?\"<>|") == std::string_view::npos && !text.ends_with('.') &&
              !text.ends_with(' '),
          "Windows holds an accepted name as it is written", text);
  }

  for (const char c : escapeControls(text)) check(!isControl(c), "no control is left", text);
  const std::string kept = escapeControls(text, LineEnds::Kept);
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const char c = kept[i];
    check(!isControl(c) || c == '\t' || c == '\n' || (c == '\r' && kept[i + 1] == '\n'),
          "only TAB, LF and CR LF are kept", text);
  }
  return 0;
}
