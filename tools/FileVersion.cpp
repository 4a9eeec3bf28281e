#include <algorithm>
#include <exception>
#include <filesystem>
#include <map>
#include <ostream>

#include "checksum/Checksum.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/Unicode.h"
#include "solution/ComponentLists.h"
#include "tools/Commands.h"
#include "tools/PackageAccess.h"

namespace qsi::tools {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFileVersionHelp =
    "usage: qsolution fileversion [DIR]\n"
    "Writes the checksum of every content file of the solution package DIR\n"
    "(default ./Solution) into \"configuration files/FileVersion.txt\", one section\n"
    "per file named by its lookup path, sorted; other sections are kept. The file\n"
    "is replaced atomically.\n"
    "Exit status: 0 written, 1 written but two files share one section, 2 error.\n";

// Section names are found without regard to case, as the installer reads them.
struct CaseBlind {
  bool operator()(const std::string& a, const std::string& b) const {
    if (platform::ilessThan(a, b) || platform::ilessThan(b, a)) return platform::ilessThan(a, b);
    return false;
  }
};

struct Section {
  std::string name;
  std::vector<std::string> lines;  // everything but blank lines, as written
};

struct IniText {
  std::vector<std::string> preamble;  // lines before the first section
  std::map<std::string, Section, CaseBlind> sections;
};

IniText parseIni(std::string_view text) {
  IniText ini;
  Section* current = nullptr;
  for (std::string line : platform::split(text, '\n')) {
    if (line.ends_with('\r')) line.pop_back();
    const std::string_view trimmed = platform::trim(line);
    if (trimmed.empty()) continue;
    if (trimmed.front() == '[') {
      const auto close = trimmed.find(']');
      const std::string name(platform::trim(
          trimmed.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
      current = &ini.sections.try_emplace(name, Section{name, {}}).first->second;
    } else {
      (current != nullptr ? current->lines : ini.preamble).push_back(line);
    }
  }
  return ini;
}

bool isChecksumLine(const std::string& line) {
  const auto eq = line.find('=');
  const std::string_view key = platform::trim(std::string_view(line).substr(0, eq));
  return eq != std::string::npos && platform::iequals(key, "Checksum");
}

void setChecksum(IniText& ini, const std::string& section, const std::string& checksum) {
  Section& target = ini.sections.try_emplace(section, Section{section, {}}).first->second;
  std::erase_if(target.lines, isChecksumLine);
  target.lines.insert(target.lines.begin(), "Checksum=" + checksum);
}

std::string printIni(const IniText& ini) {
  const std::string crlf(platform::kCrLf);
  std::string text;
  for (const std::string& line : ini.preamble) text += line + crlf;
  if (!ini.preamble.empty()) text += crlf;
  for (const auto& [key, section] : ini.sections) {
    text += "[" + section.name + "]" + crlf;
    for (const std::string& line : section.lines) text += line + crlf;
    text += crlf;
  }
  return text;
}

}  // namespace

int runFileVersion(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  PackageArgument parsed;
  if (!parsePackageArgument(args, parsed, err, "fileversion")) {
    err << kFileVersionHelp;
    return 2;
  }
  if (parsed.help) {
    out << kFileVersionHelp;
    return 0;
  }
  try {
    const Package package = readPackage(parsed.root);
    const fs::path file = package.folders.configurationFolder / "FileVersion.txt";
    // Written back as ANSI or UTF-8: a mark the installer reads past would
    // otherwise hide the first section here.
    IniText ini = fs::exists(file) ? parseIni(platform::decodeText(platform::readFileBytes(file)))
                                   : IniText{};
    std::map<std::string, const solution::FileEntry*, CaseBlind> written;
    int status = 0;
    for (const solution::FileEntry& entry : package.info.files) {
      const std::string section = solution::getLookupPath(entry.path);
      const auto [previous, isNew] = written.try_emplace(section, &entry);
      if (!isNew) {
        // Both are installed to one place; the one copied last is what stays.
        err << "warning: " << entry.packagePath << ": shares section [" << section << "] with "
            << previous->second->packagePath << "; its checksum is written\n";
        previous->second = &entry;
        status = 1;
      }
      setChecksum(ini, section, checksum::getFileChecksum(packageFile(package, entry.packagePath)));
    }
    platform::writeFileAtomically(file, printIni(ini));
    out << "Wrote " << written.size() << " checksums to " << platform::displayPath(file) << '\n';
    return status;
  } catch (const std::exception& e) {
    err << "qsolution fileversion: " << e.what() << '\n';
    return 2;
  }
}

}  // namespace qsi::tools
