#include "fuzz/Fuzz.h"
#include "metabase/SqlScripts.h"

// A script's first line names the data source it runs on: a name it gives is
// upper case, trimmed and not empty, and reads back from a USE line, bare or
// in one pair of brackets; a name without a problem is a bare data source
// name, which cannot reach the driver manager as a connection string.
namespace {

using qsi::fuzz::check;

bool enclosed(std::string_view name) {
  return name.size() >= 2 && ((name.front() == '[' && name.back() == ']') ||
                              (name.front() == '"' && name.back() == '"'));
}

}  // namespace

QSI_FUZZ_TARGET {
  const std::string_view line = qsi::fuzz::textOf(data, size);
  if (const auto name = qsi::metabase::databaseNameOf(line)) {
    check(!name->empty() && *name == qsi::platform::toUpper(*name) &&
              *name == qsi::platform::trim(*name),
          "a name is upper case, trimmed and not empty", *name);
    check(qsi::metabase::databaseNameOf("USE [" + *name + "]") == name, "USE [name]", *name);
    if (!enclosed(*name) && !name->ends_with(';'))
      check(qsi::metabase::databaseNameOf("USE " + *name) == name, "USE name", *name);
  }
  if (!qsi::metabase::dataSourceNameProblem(line)) {
    for (const char c : line)
      check(std::string_view("=;{}").find(c) == std::string_view::npos && !qsi::fuzz::isControl(c),
            "a bare data source name", line);
  }
  return 0;
}
