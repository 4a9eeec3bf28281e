#include <exception>
#include <filesystem>
#include <ostream>

#include "checksum/Checksum.h"
#include "tools/Commands.h"

namespace qsi::tools {

namespace {

constexpr const char* kChecksumHelp =
    "usage: qsolution checksum FILE...\n"
    "Prints the checksum of each FILE as the installer computes it (\"0\" for a\n"
    "file whose name ends in dll: libraries are never checksummed).\n"
    "Exit status: 0, or 2 when a file is missing or cannot be read.\n";

}  // namespace

int runChecksum(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kChecksumHelp;
    return 2;
  }
  if (args.front() == "--help" || args.front() == "-h") {
    out << kChecksumHelp;
    return 0;
  }
  int status = 0;
  for (const std::string& file : args) {
    try {
      if (!std::filesystem::is_regular_file(file)) {
        err << "qsolution checksum: " << file << ": no such file\n";
        status = 2;
        continue;
      }
      out << checksum::getFileChecksum(file) << "  " << file << '\n';
    } catch (const std::exception& e) {
      err << "qsolution checksum: " << e.what() << '\n';
      status = 2;
    }
  }
  return status;
}

}  // namespace qsi::tools
