#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace qsi::platform {

enum class ProgressBox { Text, Detail };   // txtProgressText, txtProgressDetail
enum class InfoBox { Solution, Current };  // txtSolution, txtCurrent

enum class Buttons { OK, RetryCancel, YesNo };
enum class Icon { None, Information, Warning, Critical };
enum class Answer { OK, Retry, Cancel, Yes, No };

// The answer of a box that nobody answered (end of input, or the program was
// told to end): OK, Cancel, or No, whichever changes nothing.
[[nodiscard]] constexpr Answer unanswered(Buttons buttons) {
  return buttons == Buttons::OK            ? Answer::OK
         : buttons == Buttons::RetryCancel ? Answer::Cancel
                                           : Answer::No;
}

// The application title, shown by every message box that names none of its own.
inline constexpr std::string_view kApplicationTitle = "QSolutionInstaller";

struct MessageBox {
  std::string text;
  Buttons buttons = Buttons::OK;
  Icon icon = Icon::None;
  std::string title{kApplicationTitle};
  // The key that answers the box when nobody watches (a run's answers
  // file); empty for a box that only tells.
  std::string_view question{};
};

// What a step may do with the main window. Steps run on the user-interface
// thread; a repaint request shows the text at once (the view may coalesce
// repaints that come faster than the screen refreshes).
class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Sets the whole content of a progress box; repaints it when asked.
  virtual void setProgress(ProgressBox box, std::string_view text, bool repaint = true) = 0;
  // Appends text (with its own line break) to an information box.
  virtual void append(InfoBox box, std::string_view text) = 0;
  // How far a long loop is: `done` of `total` items (0 of 0 hides the bar).
  virtual void setProgressCount(std::size_t done, std::size_t total) = 0;
  // Shows a modal message box and returns the button pressed.
  virtual Answer messageBox(const MessageBox& box) = 0;
  // Tells, in a critical box, that the log `log` cannot be written; `why`
  // names the file and ends with the system's reason. Its writer goes on
  // trying its later lines, and the run goes on. Told at each lost batch:
  // a user interface that keeps count tells each log once in a run.
  virtual void logCannotBeWritten(const std::filesystem::path& log, std::string_view why);
};

}  // namespace qsi::platform
