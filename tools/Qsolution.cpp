#include <algorithm>
#include <array>
#include <ostream>
#include <string_view>

#include "tools/Commands.h"

namespace qsi::tools {

namespace {

using Run = int (*)(std::span<const std::string>, std::ostream&, std::ostream&);

int runHelp(std::span<const std::string>, std::ostream& out, std::ostream&);
int runVersion(std::span<const std::string>, std::ostream& out, std::ostream&) {
  out << "qsolution " << QSI_VERSION << '\n';
  return 0;
}

// What the first argument may be: --help and the dispatch both read this
// table, so that a command or option added here is accepted and shown at once.
struct Entry {
  std::string_view names;  // the first is shown first; others separated by ", "
  std::string_view arguments;
  std::string_view help;
  Run run;
};
constexpr std::array kCommands{
    Entry{"inspect", "[DIR]",
          "show the package as the installer reads it; warn where it contradicts itself",
          runInspect},
    Entry{"fileversion", "[DIR]",
          "write configuration files/FileVersion.txt with the checksum of every content file",
          runFileVersion},
    Entry{"checksum", "FILE...", "print each file's checksum as the installer computes it",
          runChecksum},
};
constexpr std::array kOptions{
    Entry{"--help, -h, help", "",
          "print this help and exit (`qsolution COMMAND --help` tells more)", runHelp},
    Entry{"--version", "", "print the version and exit", runVersion},
};
constexpr std::string_view kUsage = "usage: qsolution COMMAND [ARGUMENTS]";

void printEntries(std::ostream& out, std::span<const Entry> entries) {
  for (const Entry& entry : entries) {
    std::string shown(entry.names);
    if (!entry.arguments.empty()) shown += " " + std::string(entry.arguments);
    shown.resize(std::max<std::size_t>(shown.size() + 2, 20), ' ');
    out << "  " << shown << entry.help << '\n';
  }
}

int runHelp(std::span<const std::string>, std::ostream& out, std::ostream&) {
  out << kUsage << "\nThe package author's tool for QSolutionInstaller packages.\n\nCommands:\n";
  printEntries(out, kCommands);
  out << "\nOptions:\n";
  printEntries(out, kOptions);
  out << "\nDIR is the package's Solution folder (default ./Solution).\n\n"
         "Exit status:\n"
         "  0  inspect: no warning; fileversion: written; checksum: every file read\n"
         "  1  inspect: warnings; fileversion: written, but two files compete for one section\n"
         "  2  the package or a file cannot be read or written, or the command line is wrong\n";
  return 0;
}

bool named(const Entry& entry, std::string_view word) {
  for (std::string_view names = entry.names; !names.empty();) {
    const std::size_t comma = names.find(", ");
    if (names.substr(0, comma) == word) return true;
    names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 2);
  }
  return false;
}

}  // namespace

int runQsolution(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage << "\n`qsolution --help` tells more.\n";
    return 2;
  }
  for (const Entry& entry : kCommands)
    if (named(entry, args.front())) return entry.run(args.subspan(1), out, err);
  for (const Entry& entry : kOptions)
    if (named(entry, args.front())) {
      if (args.size() == 1) return entry.run({}, out, err);
      err << "qsolution: unexpected argument '" << args[1] << "'\n" << kUsage << '\n';
      return 2;
    }
  err << "qsolution: unknown command '" << args.front() << "'\n" << kUsage << '\n';
  return 2;
}

}  // namespace qsi::tools
