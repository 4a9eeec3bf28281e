#pragma once

#include <string>

#include "platform/Environment.h"
#include "platform/Failure.h"
#include "solution/Records.h"

namespace qsi::control {

// The checks that a solution fits the installed product. Each stores the
// installed version it read in `installedVersion`. A refusing check tells the
// administrator and ends the program (EndProgram); the dependency version
// check only warns and gives false.
// The end of a run whose product the site has at the package's version or
// newer: nothing is left to do.
struct AlreadyUpToDate : platform::EndProgram {};

bool checkProductVersion(const platform::Environment& env, const solution::SolutionInfo& info,
                         std::string& installedVersion);
bool checkDependencyProduct(const platform::Environment& env, const solution::SolutionInfo& info);
bool checkDependencyProductVersion(const platform::Environment& env,
                                   const solution::SolutionInfo& info,
                                   std::string& installedVersion);
bool checkDependencyCommonVersion(const platform::Environment& env,
                                  const solution::SolutionInfo& info,
                                  std::string& installedVersion);

}  // namespace qsi::control
