#include "customization/Customization.h"

#include "log/CLog.h"

namespace qsi::customization {

namespace {

bool isCustomized(const solution::FileEntry& entry) {
  return entry.currentChecksum != entry.metabaseChecksum && entry.currentChecksum != "0" &&
         entry.metabaseChecksum != "0" && !entry.metabaseChecksum.empty();
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
    log.writeLine(entry.currentChecksum + "\t\t\t" + entry.metabaseChecksum + "\t\t\t" +
                  entry.path);
    solution.hasCustomizedFiles = true;
  }
  log.closeLogFile();
}

std::string showCustomizationReport(const platform::Environment& env) {
  log::CLog log(env);
  log.openLogFileForReading("Customizations");
  std::string text = log.getText();
  log.closeLogFile();
  return text;
}

}  // namespace qsi::customization
