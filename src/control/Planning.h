#pragma once

#include "actions/InstallationPlan.h"
#include "platform/Environment.h"
#include "site/SiteInformation.h"
#include "solution/Records.h"
#include "solution/SolutionFolders.h"

namespace qsi::control {

// Which part of the package a run carries out: the web server part (files,
// components, services and their records), the database part (scripts and
// their records), or both.
enum class Part { web, db, all };

// The installation plan of a retrieved solution: what the selection decided
// for each module, file and script, the services and components the run
// touches, and each registry value and Metabase row it writes, with the text
// it has now (read from the registry, and from the Metabase with its own
// login) and the text it will have. A part the site holds already is passed
// over whole: the web server part when none of its files is to be installed,
// the database part when the installer's record names a run that completed
// these very scripts, and the part the run leaves out (`part`) is passed over
// with its scripts and files. The installer's own record, like its journal,
// is not listed among the registry values.
[[nodiscard]] actions::InstallationPlan makeInstallationPlan(
    const platform::Environment& env, const solution::SolutionInfo& info,
    const site::SiteInfo& site, const solution::SolutionFolders& folders, Part part);

}  // namespace qsi::control
