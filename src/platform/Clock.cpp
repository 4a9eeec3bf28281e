#include "platform/Clock.h"

#include <iomanip>
#include <locale>
#include <sstream>

#include "platform/Text.h"

namespace qsi::platform {

namespace {

std::tm localTime(std::time_t t) {
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  return tm;
}

std::locale userLocale() {
  try {
    return std::locale("");
  } catch (const std::runtime_error&) {  // an unknown LANG: use the classic locale
    return std::locale::classic();
  }
}

std::string format(const std::tm& tm, const char* pattern, const std::locale& locale) {
  std::ostringstream out;
  out.imbue(locale);
  out << std::put_time(&tm, pattern);
  return out.str();
}

}  // namespace

RunStamp makeRunStamp(std::chrono::system_clock::time_point when) {
  RunStamp stamp;
  stamp.installDateAndTime = localTime(std::chrono::system_clock::to_time_t(when));
  const std::string text =
      format(stamp.installDateAndTime, "%m-%d-%Y -- ", std::locale::classic()) +
      format(stamp.installDateAndTime, "%X", userLocale());
  stamp.installDateAndTimeFormat = replaceAll(text, ":", ".");
  stamp.runFolder = stamp.installDateAndTimeFormat;
  stamp.installDateText =
      format(stamp.installDateAndTime, "%Y-%m-%d %H:%M:%S", std::locale::classic());
  return stamp;
}

}  // namespace qsi::platform
