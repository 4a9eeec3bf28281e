#pragma once

#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "solution/ContentScan.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::tools {

// What went wrong, naming the file first: "<file>: <reason>".
class ToolError : public std::runtime_error {
 public:
  ToolError(const std::filesystem::path& file, const std::string& reason)
      : std::runtime_error(file.string() + ": " + reason) {}
};

struct Package {
  solution::SolutionFolders folders;
  solution::SolutionInfo info;
};

// Reads the package rooted at `root` with the installer's own readers. They
// log as they do in the installer; here the logs go to a temporary folder
// that is removed again, and nobody is shown anything. Throws ToolError when
// the package cannot be read.
[[nodiscard]] Package readPackage(const std::filesystem::path& root);

// The module definitions of the package at `root` whose version the
// installer cannot read, for which it refuses the package.
[[nodiscard]] std::vector<solution::RefusedEntry> refusedModules(const std::filesystem::path& root);

// The package folder a subcommand works on: its one optional argument, else
// ./Solution. Returns false (after telling `err`) on unexpected arguments.
struct PackageArgument {
  std::filesystem::path root;
  bool help = false;
};
[[nodiscard]] bool parsePackageArgument(std::span<const std::string> args, PackageArgument& parsed,
                                        std::ostream& err, const char* command);

// The file's package path ("Web\Q-Alder\default.asp") as a file of this machine.
[[nodiscard]] std::filesystem::path packageFile(const Package& package,
                                                const std::string& packagePath);

}  // namespace qsi::tools
