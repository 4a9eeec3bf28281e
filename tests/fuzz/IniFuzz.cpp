#include <map>

#include "fuzz/Fuzz.h"
#include "platform/ProfileReader.h"
#include "platform/Unicode.h"

// Definition files are written by hand: what the reader makes of one prints
// as [section] and key="value" lines that read back the same, no value holds
// a NUL, each value is found under its section and key, and Unicode text
// reads the same in every encoding an editor saves it in.
using namespace qsi::platform;
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

  // Saved with a UTF-8 mark, or as UTF-16 either way round, the text reads the same.
  const std::string text(textOf(data, size));
  const auto units = utf8ToUtf16(text);
  if (encodingOf(text) != TextEncoding::Bytes || !units || utf16ToUtf8(*units) != text) return 0;
  std::string swapped = *units;
  for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
  for (const std::string& saved :
       {std::string(kUtf8Mark) + text, std::string(kUtf16LeMark) + *units,
        std::string(kUtf16BeMark) + swapped})
    check(ProfileReader::parse(saved).all() == parsed, "a marked text reads the same", saved);
  return 0;
}
