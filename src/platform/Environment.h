#pragma once

#include <filesystem>

#include "platform/Clock.h"
#include "platform/ProfileReader.h"
#include "platform/Registry.h"
#include "platform/UserInterface.h"

namespace qsi::platform {

class Databases;
class WritableFiles;

// What every step of a run may reach: the platform's services, the main
// window and the run's fixed facts. Owned by the main window's model and
// passed down by reference; nothing here is global.
struct Environment {
  Registry& registry;
  ProfileReader& profiles;
  UserInterface& ui;
  std::filesystem::path installerFolder;
  RunStamp stamp;
  Databases* databases = nullptr;  // nullptr: the machine's ODBC data sources
  WritableFiles* files = nullptr;  // where logs are written; nullptr: the machine's files
  // The folder of every run's logs (InstMainDir/QOLog on a site); the run's
  // own logs go into its stamp's folder below it. Empty until the site is
  // known: no log can be opened then. No default, so that no environment
  // made from another forgets it.
  std::filesystem::path logRoot;
};

// The databases the steps reach: the environment's own, else the machine's
// ODBC data sources.
[[nodiscard]] Databases& databasesOf(const Environment& env);
// The files the steps write their logs to: the environment's own, else the
// machine's.
[[nodiscard]] WritableFiles& filesOf(const Environment& env);

}  // namespace qsi::platform
