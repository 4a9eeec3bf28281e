#pragma once

#include <iosfwd>
#include <span>
#include <string>

// The subcommands of qsolution. Each takes the arguments after its name,
// writes its results to `out` and its warnings and errors to `err`, and
// returns the process's exit status.
namespace qsi::tools {

// Runs "qsolution <command> [arguments]".
int runQsolution(std::span<const std::string> args, std::ostream& out, std::ostream& err);

// inspect [DIR]: the package as the installer reads it, and where it
// contradicts itself. 0 without warnings, 1 with warnings, 2 when the
// package cannot be read.
int runInspect(std::span<const std::string> args, std::ostream& out, std::ostream& err);

// fileversion [DIR]: writes the checksum of every content file into
// "configuration files/FileVersion.txt". 0 when written, 1 when written but
// two files compete for one section, 2 when it could not be written.
int runFileVersion(std::span<const std::string> args, std::ostream& out, std::ostream& err);

// checksum FILE...: each file's checksum text. 0, or 2 when a file is
// missing or unreadable.
int runChecksum(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace qsi::tools
