#pragma once

#include <chrono>

// Every wait on something outside the installer has a bound, so that a run
// ends, on its own way out, with the services started again: a command, a
// database login, a Metabase statement, a SQL script, the password. Each bound has a
// default that no sane wait reaches, and an environment setting (whole
// seconds) that changes it.
namespace qsi::platform {

struct TimeLimit {
  const char* setting;  // the environment variable that changes it
  std::chrono::seconds seconds;
};

inline constexpr TimeLimit kCommandTimeLimit{"QSI_COMMAND_TIMEOUT", std::chrono::minutes(10)};
inline constexpr TimeLimit kLoginTimeLimit{"QSI_LOGIN_TIMEOUT", std::chrono::seconds(30)};
// Metabase statements and lookups; the services may be stopped meanwhile.
inline constexpr TimeLimit kQueryTimeLimit{"QSI_QUERY_TIMEOUT", std::chrono::minutes(2)};
// A SQL script of the package, sent whole; it runs with the services started.
inline constexpr TimeLimit kScriptTimeLimit{"QSI_SCRIPT_TIMEOUT", std::chrono::hours(1)};
// The password on standard input or a descriptor: a writer that never
// writes must not hold the run before it starts.
inline constexpr TimeLimit kPasswordTimeLimit{"QSI_PASSWORD_TIMEOUT", std::chrono::minutes(1)};

// The limit in force: its setting's value when that is a positive whole
// number (at most 30 days: more counts as 30 days), else its default.
[[nodiscard]] TimeLimit timeLimit(const TimeLimit& limit);

}  // namespace qsi::platform
