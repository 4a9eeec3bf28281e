#pragma once

#include <chrono>
#include <iosfwd>
#include <string>

#include "control/Main.h"
#include "control/View.h"

namespace qsi::ui::console {

// The main window in a terminal, scriptable through a pipe. The protocol is
// written in the README: menus, message boxes and dialogs go to `out` and
// read one line each from `in`; progress goes to `progress`.
class ConsoleView final : public control::View {
 public:
  struct Streams {
    std::istream& in;
    std::ostream& out;
    std::ostream& progress;
    bool inputIsTerminal = false;
    bool progressIsTerminal = false;
  };
  explicit ConsoleView(Streams streams) : io_(streams) {}

  // Runs the window until the program ends; returns the exit status.
  int run(control::Main& main);

  void refresh(control::Element element, const control::MainWindowState& state) override;
  platform::Answer messageBox(const platform::MessageBox& box) override;
  void showLogin(control::frmLogin& login) override;
  void showReport(const control::frmReport& report) override;

 private:
  bool readLine(std::string& line);
  std::string readPassword();
  void showWindow(const control::MainWindowState& state);
  void paintProgress(const control::MainWindowState& state);
  void flushProgress();

  Streams io_;
  std::string shownSolution_;
  std::string shownCurrent_;
  std::string lastText_;
  std::string lastDetail_;
  std::size_t filesDone_ = 0;
  std::size_t filesTotal_ = 0;
  bool pending_ = false;  // progress not written yet: at most one write per refresh
  std::chrono::steady_clock::time_point lastPaint_{};
};

// Runs the installer with the console front-end on the process's own streams.
int runConsole(control::Services services);

}  // namespace qsi::ui::console
