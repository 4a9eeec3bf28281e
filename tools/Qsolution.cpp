#include <ostream>

#include "tools/Commands.h"

namespace qsi::tools {

namespace {

constexpr const char* kUsage =
    "usage: qsolution COMMAND [ARGUMENTS]\n"
    "The package author's tool for QSolutionInstaller packages.\n"
    "\n"
    "  inspect [DIR]        show the package as the installer reads it; warn where it\n"
    "                       contradicts itself (exit 0 none, 1 warnings, 2 unreadable)\n"
    "  fileversion [DIR]    write configuration files/FileVersion.txt with the checksum\n"
    "                       of every content file\n"
    "  checksum FILE...     print each file's checksum\n"
    "\n"
    "DIR is the package's Solution folder (default ./Solution).\n"
    "`qsolution COMMAND --help` tells more.\n";

}  // namespace

int runQsolution(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return 2;
  }
  const std::string& command = args.front();
  const auto rest = args.subspan(1);
  if (command == "--help" || command == "-h" || command == "help") {
    out << kUsage;
    return 0;
  }
  if (command == "inspect") return runInspect(rest, out, err);
  if (command == "fileversion") return runFileVersion(rest, out, err);
  if (command == "checksum") return runChecksum(rest, out, err);
  err << "qsolution: unknown command '" << command << "'\n" << kUsage;
  return 2;
}

}  // namespace qsi::tools
