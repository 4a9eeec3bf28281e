#include "fuzz/Fuzz.h"
#include "metabase/SqlScripts.h"

// A script's database name is upper case, trimmed, not empty, and reads back from a USE
// line, bare or in brackets; a data source name passed cannot act as a connection string.
using namespace qsi::metabase;
using namespace qsi::fuzz;

QSI_FUZZ_TARGET {
  const std::string_view line = textOf(data, size);
  if (const auto name = databaseNameOf(line)) {
    check(!name->empty() && *name == qsi::platform::toUpper(*name) &&
              *name == qsi::platform::trim(*name),
          "a name is upper case, trimmed and not empty", *name);
    check(databaseNameOf("USE [" + *name + "]") == name, "USE [name]", *name);
    const bool enclosed = name->size() >= 2 && ((name->front() == '[' && name->back() == ']') ||
                                                (name->front() == '"' && name->back() == '"'));
    if (!enclosed && !name->ends_with(';'))
      check(databaseNameOf("USE " + *name) == name, "USE name", *name);
  }
  if (!dataSourceNameProblem(line)) {
    for (const char c : line)
      check(std::string_view("=;{}").find(c) == std::string_view::npos && !isControl(c),
            "a bare data source name", line);
  }
  return 0;
}
