#pragma once

#include <optional>
#include <string>
#include <vector>

#include "version/Version.h"

namespace qsi::solution {

// A database of a module, and the login its definition file names for it.
struct ModuleDatabase {
  std::string name;
  std::string user;
};

// One suite module: of the package (from its definition file) or installed
// (from the registry, where only name and version are filled).
struct ModuleInfo {
  std::string name;
  version::Version version;
  // Its own database first; Q-Common's also the Metabase and the membership's.
  std::vector<ModuleDatabase> databases;
};

// One content file of the package (or, in the SQL list, one script name).
struct FileEntry {
  std::string path;    // installation path, relative to InstMainDir ("QO11\Q-Alder\default.asp")
  std::string module;  // display name of its module
  bool install = false;
  bool customized = false;
  // Checksum texts, nullopt where there is none. As shipped, from
  // FileVersion.txt (none: not listed; "0": its bytes are not checked).
  std::optional<std::string> solutionChecksum;
  // Of the installed copy (none: no file, or a library).
  std::optional<std::string> currentChecksum;
  // Recorded at its last installation (none: none recorded, or the
  // Metabase could not be asked).
  std::optional<std::string> metabaseChecksum;
  // The Metabase could not be asked (its query failed, twice): whether the
  // installed file is customized is not known, so it is saved before it is
  // replaced.
  bool metabaseLookupFailed = false;
  bool isCOMComponent = false;
  bool isMTSComponent = false;
  // Where the scan found the file, relative to the package root
  // ("Components\Bramble\Bramble.dll"); the installation copies from here.
  std::string packagePath;
};

// Everything read from the solution package.
struct SolutionInfo {
  std::string productName;
  version::Version version;
  std::string solutionType;
  bool hasSqlScripts = false;
  bool hasFiles = false;
  std::string dependencyProductName;
  version::Version dependencyVersion;
  version::Version commonVersion;
  bool hasCustomizedFiles = false;
  std::vector<ModuleInfo> modules;
  std::vector<FileEntry> files;
  std::vector<FileEntry> sqlScripts;  // only `path` filled: the name in Sequence.txt
  bool hasComponents = false;
};

}  // namespace qsi::solution
