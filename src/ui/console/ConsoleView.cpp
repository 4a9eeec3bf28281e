#include "ui/console/ConsoleView.h"

#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>

#include "platform/win32/WindowsApi.h"
#else
#include <termios.h>
#include <unistd.h>
#endif

#include "platform/Failure.h"
#include "platform/Interrupt.h"
#include "platform/Text.h"

namespace qsi::ui::console {

using control::Element;
using control::MainWindowState;
using platform::Answer;
using platform::Buttons;

namespace {

constexpr auto kRefreshInterval = std::chrono::milliseconds(16);
constexpr std::size_t kProgressWidth = 78;

bool isTerminal(FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return ::isatty(::fileno(stream)) != 0;
#endif
}

// Turns echo of the terminal's input off while it lives.
class EchoOff {
 public:
  EchoOff() {
#ifdef _WIN32
    handle_ = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleMode(handle_, &mode_)) {
      SetConsoleMode(handle_, mode_ & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
      active_ = true;
    }
#else
    if (::tcgetattr(STDIN_FILENO, &saved_) == 0) {
      termios quiet = saved_;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      active_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
    }
#endif
  }
  ~EchoOff() {
    if (!active_) return;
#ifdef _WIN32
    SetConsoleMode(handle_, mode_);
#else
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
#endif
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  bool active_ = false;
#ifdef _WIN32
  HANDLE handle_ = nullptr;
  DWORD mode_ = 0;
#else
  termios saved_{};
#endif
};

// Message box texts use CR LF; a terminal wants LF only. Names from outside
// may hold control characters: escaped, they cannot drive the terminal.
std::string forTerminal(std::string_view text) {
  return platform::escapeControls(platform::replaceAll(text, "\r\n", "\n"),
                                  platform::LineEnds::Kept);
}

// A progress text on one line.
std::string oneLine(std::string_view text) {
  return platform::escapeControls(text);
}

void printBox(std::ostream& out, std::string_view caption, const std::string& text) {
  out << caption << '\n' << std::string(caption.size(), '-') << '\n' << forTerminal(text);
  if (!text.empty() && !text.ends_with('\n')) out << '\n';
}

}  // namespace

bool ConsoleView::readLine(std::string& line) {
  flushProgress();
  io_.out.flush();
  if (!std::getline(io_.in, line)) return false;
  if (line.ends_with('\r')) line.pop_back();
  return true;
}

std::string ConsoleView::readPassword() {
  std::string line;
  if (io_.inputIsTerminal) {
    const EchoOff quiet;
    readLine(line);
  } else {
    readLine(line);
  }
  io_.out << '\n';  // the typed line is never shown
  return line;
}

void ConsoleView::showWindow(const MainWindowState& state) {
  if (state.txtSolution != shownSolution_) {
    printBox(io_.out, "Solution Info", state.txtSolution);
    shownSolution_ = state.txtSolution;
  }
  if (state.txtCurrent != shownCurrent_) {
    printBox(io_.out, "Current Installation Info", state.txtCurrent);
    shownCurrent_ = state.txtCurrent;
  }
  io_.out << control::kMainWindowCaption << '\n';
  if (state.cmdRetrieveInfoEnabled)
    io_.out << "  1  Retrieve information about the current installation\n";
  if (state.cmdStartEnabled) io_.out << "  2  Start Installation\n";
  if (state.cmdCustimizationReportEnabled) io_.out << "  3  View Customizations Report\n";
  if (state.cmdViewPlanEnabled) io_.out << "  4  " << control::kViewPlanCaption << '\n';
  io_.out << "  q  Close the window\n> ";
}

int ConsoleView::run(control::Main& main) {
  std::optional<control::ProgramEnd> end = main.Form_Load();
  std::string line;
  while (!end) {
    showWindow(main.state());
    if (!readLine(line)) break;
    const std::string choice(platform::trim(line));
    if (choice == "q" || choice == "Q") break;
    if (choice == "1")
      end = main.press(control::Button::cmdRetrieveInfo);
    else if (choice == "2")
      end = main.press(control::Button::cmdStart);
    else if (choice == "3")
      end = main.press(control::Button::cmdCustimizationReport);
    else if (choice == "4")
      end = main.press(control::Button::cmdViewPlan);
  }
  if (end) {
    flushProgress();
    return end->exitStatus();
  }
  io_.out << '\n';
  return platform::EndProgram::kStopped;
}

void ConsoleView::refresh(Element element, const MainWindowState& state) {
  if (element != Element::txtProgressText && element != Element::txtProgressDetail &&
      element != Element::progressBar)
    return;
  paintProgress(state);
}

void ConsoleView::paintProgress(const MainWindowState& state) {
  // Called for every file: the texts are kept (assignments that reuse their
  // room) and formatted only when written.
  if (!io_.progressIsTerminal && state.txtProgressText != lastText_ &&
      !state.txtProgressText.empty()) {
    flushProgress();  // the last detail belongs to the headline before
    io_.progress << "[progress] " + oneLine(state.txtProgressText) + '\n';
  }
  if (state.txtProgressDetail != lastDetail_)
    pending_ = io_.progressIsTerminal || !state.txtProgressDetail.empty();
  if (io_.progressIsTerminal)
    pending_ = pending_ || state.txtProgressText != lastText_ || state.filesDone != filesDone_ ||
               state.filesTotal != filesTotal_;
  lastText_ = state.txtProgressText;
  lastDetail_ = state.txtProgressDetail;
  filesDone_ = state.filesDone;
  filesTotal_ = state.filesTotal;
  if (pending_ && std::chrono::steady_clock::now() - lastPaint_ >= kRefreshInterval)
    flushProgress();
}

void ConsoleView::flushProgress() {
  if (!pending_) return;
  pending_ = false;
  lastPaint_ = std::chrono::steady_clock::now();
  if (!io_.progressIsTerminal) {
    io_.progress << "[detail] " + oneLine(lastDetail_) + '\n';
    return;
  }
  std::string line = oneLine(lastText_);
  if (!lastDetail_.empty()) line += " - " + oneLine(lastDetail_);
  if (filesTotal_ > 0)
    line = "[" + std::to_string(filesDone_) + "/" + std::to_string(filesTotal_) + "] " + line;
  if (line.size() > kProgressWidth) line.resize(kProgressWidth);
  line.resize(kProgressWidth, ' ');
  // Standard error is unbuffered: one string, one write.
  std::string paint = '\r' + line;
  if (platform::trim(line).empty()) paint += '\r';
  io_.progress << paint << std::flush;
}

Answer ConsoleView::messageBox(const platform::MessageBox& box) {
  flushProgress();
  if (io_.progressIsTerminal) io_.progress << '\n';
  io_.out << '[' << oneLine(box.title) << "]\n" << forTerminal(box.text) << '\n';
  io_.out << (box.buttons == Buttons::RetryCancel ? "[Retry] [Cancel]"
              : box.buttons == Buttons::YesNo     ? "[Yes] [No]"
                                                  : "[OK]")
          << '\n';
  std::string line;
  // Told to end from outside, nobody answers: the box is shown, not waited for.
  if (platform::nobodyToAnswer() || !readLine(line)) return platform::unanswered(box.buttons);
  // Two buttons: the first by its name or initial, any other line the second.
  const std::string answer = platform::toLower(platform::trim(line));
  const auto chose = [&](std::string_view name) {
    return answer == name || answer == name.substr(0, 1);
  };
  switch (box.buttons) {
    case Buttons::RetryCancel:
      return chose("retry") ? Answer::Retry : Answer::Cancel;
    case Buttons::YesNo:
      return chose("yes") ? Answer::Yes : Answer::No;
    case Buttons::OK:
      break;
  }
  return Answer::OK;
}

void ConsoleView::showLogin(control::frmLogin& login) {
  io_.out << control::frmLogin::caption << '\n' << "SA Password: ";
  std::string typed;
  const bool gotPassword = [&] {
    io_.out.flush();
    if (io_.in.eof()) return false;
    typed = readPassword();
    return !io_.in.fail();
  }();
  if (gotPassword) login.txtPassword = typed;
  io_.out << "[OK] [Cancel]\n";
  std::string line;
  const bool answered = gotPassword && readLine(line);
  const std::string answer = platform::toLower(platform::trim(line));
  if (!answered || answer == "c" || answer == "cancel")
    login.cmdCancel_Click();
  else
    login.cmdOK_Click();
}

void ConsoleView::showReport(const control::frmReport& report) {
  io_.out << report.caption << '\n'
          << forTerminal(report.txtReport) << '\n'
          << '[' << control::frmReport::cmdOK << "]\n";
  std::string line;
  readLine(line);
}

int runConsole(control::Services services) {
  ConsoleView view({std::cin, std::cout, std::cerr, isTerminal(stdin), isTerminal(stderr)});
  control::Main main(std::move(services), view);
  return view.run(main);
}

}  // namespace qsi::ui::console
