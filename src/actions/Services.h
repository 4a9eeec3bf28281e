#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CommandRunner.h"
#include "platform/Environment.h"

namespace qsi::actions {

// The NT services that hold the suite's files: IISADMIN, LDAPSVC, W3SVC.
[[nodiscard]] std::vector<std::string> getNTServices();
// The program names of the suite's eleven services, qosvc01.exe to qosvc11.exe.
[[nodiscard]] std::vector<std::string> getQOServices();
void appendToList(std::vector<std::string>& list, std::string text);

// The short form of an existing folder's path. Throws Failure when the path
// names no folder.
[[nodiscard]] std::filesystem::path getShortPath(const std::filesystem::path& folder);

// Each runs one command per service, hidden, waits for it and judges it by
// its exit code alone (0 is success; a program that cannot be started has
// failed). Progress goes to the progress boxes, the outcome of each service
// to the step's log ("Stop Services", "Stop Q-Orchard Services", "Start
// Services"). A failed command is reported and the next service taken;
// nothing reaches the caller.
void stopNTServices(const platform::Environment& env, platform::CommandRunner& commands);
// The suite's stop program is bin/stop.exe in the installer's folder.
void stopQOServices(const platform::Environment& env, platform::CommandRunner& commands);
// `why`, when given, is logged first: the services are started again on the
// way out of a run that failed.
void startNTServices(const platform::Environment& env, platform::CommandRunner& commands,
                     std::string_view why = {});

}  // namespace qsi::actions
