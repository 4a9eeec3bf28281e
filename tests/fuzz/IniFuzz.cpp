#include <fstream>
#include <map>

#include "fuzz/Fuzz.h"
#include "platform/ProfileReader.h"

// Definition files are written by hand: whatever the reader makes of one
// prints as "[section]" and key="value" lines that read back the same, no
// value holds a NUL, and readIniValue gives the parsed value cut at 319
// characters.
namespace {

using qsi::fuzz::check;
using qsi::platform::ProfileReader;

}  // namespace

QSI_FUZZ_TARGET {
  static const qsi::fuzz::TempFolder folder;
  const std::filesystem::path file = folder.path / "a.ini";
  const std::string_view text = qsi::fuzz::textOf(data, size);
  const std::map<std::string, std::string> parsed = ProfileReader::parse(std::string(text)).all();

  std::map<std::string, std::string> sections;  // section -> its printed lines
  for (const auto& [where, value] : parsed) {
    check(value.find('\0') == std::string::npos, "no value holds a NUL", value);
    const auto [section, key] = qsi::fuzz::cutAt(where, '\n');
    sections[std::string(section)].append(key).append("=\"").append(value).append("\"\r\n");
  }
  std::string printed;
  for (const auto& [section, lines] : sections) printed += "[" + section + "]\r\n" + lines;
  check(ProfileReader::parse(printed).all() == parsed, "printed values read back the same",
        printed);

  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
  ProfileReader reader;  // a new one: the file may change within the clock's tick
  for (const auto& [where, value] : parsed) {
    const auto [section, key] = qsi::fuzz::cutAt(where, '\n');
    const std::string read = reader.readIniValue(file, section, key);
    check(read == value.substr(0, ProfileReader::kMaxValueLength),
          "readIniValue gives the value cut at 319 characters", where);
  }
  return 0;
}
