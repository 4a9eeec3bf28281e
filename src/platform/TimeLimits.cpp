#include "platform/TimeLimits.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string_view>

namespace qsi::platform {

TimeLimit timeLimit(const TimeLimit& limit) {
  // Beyond every run, and short of what a deadline can hold.
  constexpr long long kMostSeconds = 30LL * 24 * 60 * 60;
  const char* text = std::getenv(limit.setting);
  const std::string_view value(text != nullptr ? text : "");
  if (value.empty() || value.find_first_not_of("0123456789") != std::string_view::npos)
    return limit;
  long long seconds = kMostSeconds;  // all digits: only too many of them fail
  (void)std::from_chars(value.data(), value.data() + value.size(), seconds);
  if (seconds <= 0) return limit;
  return {limit.setting, std::chrono::seconds(std::min(seconds, kMostSeconds))};
}

}  // namespace qsi::platform
