#include <fstream>
#include <map>

#include "fuzz/Fuzz.h"
#include "platform/ProfileReader.h"

// Definition files are written by hand: what the reader makes of one prints
// as [section] and key="value" lines that read back the same, no value holds
// a NUL, and readIniValue gives the parsed value cut at its longest.
using qsi::platform::ProfileReader;
using namespace qsi::fuzz;

QSI_FUZZ_TARGET {
  static const TempFolder folder;
  const std::filesystem::path file = folder.path / "a.ini";
  const std::string_view text = textOf(data, size);
  const std::map<std::string, std::string> parsed = ProfileReader::parse(std::string(text)).all();

  std::map<std::string, std::string> sections;  // section -> its printed lines
  for (const auto& [where, value] : parsed) {
    check(value.find('\0') == std::string::npos, "no value holds a NUL", value);
    const auto [section, key] = cutAt(where, '\n');
    sections[std::string(section)].append(key).append("=\"").append(value).append("\"\r\n");
  }
  std::string printed;
  for (const auto& [section, lines] : sections) printed += "[" + section + "]\r\n" + lines;
  check(ProfileReader::parse(printed).all() == parsed, "printed values read back", printed);

  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
  ProfileReader reader;  // a new one: the file may change within the clock's tick
  for (const auto& [where, value] : parsed) {
    const auto [section, key] = cutAt(where, '\n');
    check(
        reader.readIniValue(file, section, key) == value.substr(0, ProfileReader::kMaxValueLength),
        "readIniValue gives the value cut", where);
  }
  return 0;
}
