#include "control/Customization.h"

#include <exception>
#include <filesystem>

#include "checksum/Checksum.h"
#include "checksum/ChecksumReader.h"
#include "log/CLog.h"
#include "metabase/MetabaseChecksum.h"
#include "platform/Failure.h"
#include "platform/Interrupt.h"
#include "platform/OdbcConnection.h"
#include "platform/Paths.h"
#include "site/RegistryAccess.h"
#include "site/RootKey.h"

namespace qsi::control {

namespace {

bool isCustomized(const solution::FileEntry& entry) {
  return entry.currentChecksum && entry.metabaseChecksum &&
         *entry.currentChecksum != *entry.metabaseChecksum;
}

}  // namespace

void buildCustomizationsLog(const platform::Environment& env, solution::SolutionInfo& solution) {
  log::CLog log(env);
  log.openLogFile("Customizations");
  log.writeLine("The following files are changed after the last installation.");
  log.writeLine("Current checksum\tMetabase checksum\t\tFile");
  solution.hasCustomizedFiles = false;
  for (solution::FileEntry& entry : solution.files) {
    entry.customized = isCustomized(entry);
    if (!entry.customized) continue;
    log.writeLine(*entry.currentChecksum + "\t\t\t" + *entry.metabaseChecksum + "\t\t\t" +
                  entry.path);
    solution.hasCustomizedFiles = true;
  }
  log.closeLogFile();
}

std::string showCustomizationReport(const platform::Environment& env) {
  return log::readLogFile(env, "Customizations");
}

void readCurrentSiteChecksums(const platform::Environment& env, solution::SolutionInfo& solution,
                              log::CLog& log) {
  metabase::MetabaseChecksumLookup lookup(platform::databasesOf(env));
  const std::filesystem::path base(site::getInstMainDir(env.registry));
  env.ui.setProgress(platform::ProgressBox::Text, "Reading the current site info");
  const std::string machine = site::getHostname(env.registry);
  const std::size_t total = solution.files.size();
  // Files are read on every core while the lookups below run in list order.
  checksum::ChecksumReader checksums(total, [&base, &solution](std::size_t i) {
    return platform::joinDataPath(base, solution.files[i].path);
  });
  std::string failure;
  for (std::size_t i = 0; i < total; ++i) {
    platform::throwIfInterrupted();
    solution::FileEntry& entry = solution.files[i];
    env.ui.setProgress(platform::ProgressBox::Detail, entry.path);
    env.ui.setProgressCount(i, total);
    try {
      entry.currentChecksum = checksum::knownChecksum(checksums.next());
    } catch (const std::exception& e) {
      const std::filesystem::path installed = platform::joinDataPath(base, entry.path);
      // Whether it was customized cannot be told: nothing may be decided.
      throw platform::Failure(platform::kReadFailure, "readCurrentSiteChecksums",
                              "The installed file " + platform::displayPath(installed) +
                                  " cannot be read: " + e.what());
    }
    entry.metabaseChecksum = checksum::knownChecksum(
        lookup.getMetabaseChecksum(machine, "WebServer", entry.module, entry.path, failure));
    entry.metabaseLookupFailed = !failure.empty();
    if (entry.metabaseLookupFailed) {
      if (!log.isOpen()) log.openLogFile("Gathering Current Site Information");
      log.writeLine("The Metabase lookup failed for " + entry.path +
                    ", which is saved before it is replaced: " + failure);
    }
  }
  if (log.isOpen()) log.closeLogFile();
  env.ui.setProgressCount(0, 0);
}

}  // namespace qsi::control
