#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace qsi::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  [[nodiscard]] virtual std::chrono::system_clock::time_point now() const = 0;
};

class SystemClock final : public Clock {
 public:
  [[nodiscard]] std::chrono::system_clock::time_point now() const override {
    return std::chrono::system_clock::now();
  }
};

// The run's timestamp, taken once at start-up: every log, saved file and
// Metabase row of one run carries it.
struct RunStamp {
  std::tm installDateAndTime{};          // local time, to the second
  std::string installDateAndTimeFormat;  // "mm-dd-yyyy -- <long time>", ":" -> "."
  std::string installDateText;           // "yyyy-mm-dd hh:mm:ss", for date columns
  // The run's folder below QOLog, QOCustomized and QOJournal: the format
  // above, with " (2)", " (3)" ... added when a run of the same second has
  // one already, so that no two runs ever share a folder.
  std::string runFolder;
};

// Stamps the run at `when`, formatting the time with the user's locale.
[[nodiscard]] RunStamp makeRunStamp(std::chrono::system_clock::time_point when);

}  // namespace qsi::platform
