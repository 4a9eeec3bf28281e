#include <map>

#include "fuzz/Fuzz.h"
#include "platform/ProfileReader.h"

// Definition files are written by hand: what the reader makes of one prints
// as [section] and key="value" lines that read back the same, no value holds
// a NUL, and each value is found under its section and key.
using qsi::platform::ProfileReader;
using namespace qsi::fuzz;

QSI_FUZZ_TARGET {
  const auto values = ProfileReader::parse(std::string(textOf(data, size)));
  const std::map<std::string, std::string> parsed = values.all();
  std::map<std::string, std::string> sections;  // section -> its printed lines
  for (const auto& [where, value] : parsed) {
    check(value.find('\0') == std::string::npos, "no value holds a NUL", value);
    const auto [section, key] = cutAt(where, '\n');
    check(values.find(section, key) == value, "the value is found", where);
    sections[std::string(section)].append(key).append("=\"").append(value).append("\"\r\n");
  }
  std::string printed;
  for (const auto& [section, lines] : sections) printed += "[" + section + "]\r\n" + lines;
  check(ProfileReader::parse(printed).all() == parsed, "printed values read back", printed);
  return 0;
}
