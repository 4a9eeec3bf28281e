#include "actions/Services.h"

#include <string_view>

#include "actions/StepLog.h"
#include "platform/Failure.h"
#include "platform/Interrupt.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace qsi::actions {

namespace fs = std::filesystem;
using platform::ProgressBox;

namespace {

// Puts the text into txtProgressDetail, then into the log.
void showAndLog(const platform::Environment& env, StepLog& log, const std::string& text) {
  env.ui.setProgress(ProgressBox::Detail, text);
  log.writeLine(text);
}

// Runs one command of a step; a command that passed its time limit is
// logged as such, then judged as failed.
platform::CommandResult runCommand(platform::CommandRunner& commands, StepLog& log,
                                   const std::string& command) {
  platform::throwIfInterrupted();
  log.flush();  // what led up to a command that hangs is on disk
  platform::CommandResult result = commands.run(command);
  if (result.timedOut)
    log.writeLine("The command " + command + " did not end within its time limit and was ended.");
  return result;
}

// A command's error line, with the system's reason when its program could
// not be started (an exit code is the program's, not a reason).
std::string errorLine(std::string text, const platform::CommandResult& result) {
  return platform::withReason(std::move(text), result.notStarted);
}

void reportStop(const platform::Environment& env, StepLog& log, const std::string& service,
                const platform::CommandResult& result) {
  showAndLog(env, log,
             !result.succeeded()
                 ? errorLine("Error while stopping: " + service +
                                 " (service may not exist or may already be stopped)",
                             result)
                 : "Stopped service : " + service);
}

// The stop program's command for one service. The program's path is quoted:
// where short names do not exist a folder may hold blanks, and quoting keeps
// it one word whatever else its name holds.
std::string stopCommand(const fs::path& installerFolder, const std::string& service) {
  const fs::path program = platform::joinDataPath(getShortPath(installerFolder), "bin\\stop.exe");
  return platform::quoteCommandWord(platform::displayPath(program)) + " " + service;
}

}  // namespace

std::vector<std::string> getNTServices() {
  std::vector<std::string> list;
  for (const char* name : {"IISADMIN", "LDAPSVC", "W3SVC"}) appendToList(list, name);
  return list;
}

std::vector<std::string> getQOServices() {
  std::vector<std::string> list;
  for (const char* name :
       {"qosvc01.exe", "qosvc02.exe", "qosvc03.exe", "qosvc04.exe", "qosvc05.exe", "qosvc06.exe",
        "qosvc07.exe", "qosvc08.exe", "qosvc09.exe", "qosvc10.exe", "qosvc11.exe"})
    appendToList(list, name);
  return list;
}

void appendToList(std::vector<std::string>& list, std::string text) {
  list.push_back(std::move(text));
}

fs::path getShortPath(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw platform::Failure(76, "getShortPath", "Path not found");
  return platform::shortPath(folder);
}

void stopNTServices(const platform::Environment& env, platform::CommandRunner& commands) {
  StepLog log(env, "Stop Services");
  env.ui.setProgress(ProgressBox::Text, "Stop all Services");
  env.ui.setProgress(ProgressBox::Detail, "");
  const std::vector<std::string> services = getNTServices();
  log.writeSection("Begin stopping the Windows NT services");
  for (const std::string& service : services) {
    showAndLog(env, log, "Stopping service: " + service);
    reportStop(env, log, service, runCommand(commands, log, "net stop " + service + " /y"));
  }
  const platform::CommandResult mts = runCommand(commands, log, "mtxstop");
  showAndLog(
      env, log,
      mts.succeeded() ? "Stopped service : MTS" : errorLine("Error while stopping: MTS", mts));
  log.writeLine("");
  env.ui.setProgress(ProgressBox::Detail, "End stopping the Windows NT services");
  log.writeSection("End stopping the Windows NT services");
}

void stopQOServices(const platform::Environment& env, platform::CommandRunner& commands) {
  StepLog log(env, "Stop Q-Orchard Services");
  env.ui.setProgress(ProgressBox::Text, "Stop all Q-Orchard Services");
  env.ui.setProgress(ProgressBox::Detail, "");
  const std::vector<std::string> services = getQOServices();
  log.writeSection("Begin stopping the Q-Orchard services");
  for (const std::string& service : services) {
    showAndLog(env, log, "Stopping service: " + service);
    std::string command;
    platform::CommandResult result;
    try {
      command = stopCommand(env.installerFolder, service);
    } catch (const platform::Failure& failure) {
      // No installer folder to find the stop program in: the command fails.
      result.notStarted = failure.description();
    }
    if (!command.empty()) result = runCommand(commands, log, command);
    reportStop(env, log, service, result);
  }
  log.writeLine("");
  env.ui.setProgress(ProgressBox::Detail, "End stopping the Q-Orchard services");
  log.writeSection("End stopping the Q-Orchard services");
}

void startNTServices(const platform::Environment& env, platform::CommandRunner& commands,
                     std::string_view why) {
  const std::vector<std::string> services = getNTServices();
  StepLog log(env, "Start Services");
  if (!why.empty()) log.writeLine(why);
  log.writeSection("Begin starting the Windows NT services");
  env.ui.setProgress(ProgressBox::Text, "Start all Services");
  env.ui.setProgress(ProgressBox::Detail, "");
  for (const std::string& service : services) {
    showAndLog(env, log, "Starting service: " + service);
    const platform::CommandResult result = runCommand(commands, log, "net start " + service);
    showAndLog(env, log,
               result.succeeded() ? "Started service : " + service
                                  : errorLine("Error while starting: " + service +
                                                  " (service may not exist or may already be "
                                                  "started)",
                                              result));
  }
  env.ui.setProgress(ProgressBox::Detail, "End starting the Windows NT services");
  log.writeSection("End starting the Windows NT services");
}

}  // namespace qsi::actions
