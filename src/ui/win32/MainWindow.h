#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/Main.h"
#include "control/View.h"
#include "ui/win32/Dialogs.h"
#include "ui/win32/Window.h"

namespace qsi::ui::win32 {

// The main window with the native controls. Button presses run the flows on
// the user-interface thread; the progress elements are repainted at once
// (UpdateWindow), but no more than once per screen refresh, and what is
// still pending is painted before a dialog shows and when a flow ends.
class MainWindow final : public Window, public control::View {
 public:
  explicit MainWindow(control::Services services);
  ~MainWindow() override;

  // Shows the window and starts the run (Form_Load); false when the program
  // already ended.
  bool start();
  // Handles messages until the program ends; returns the exit status.
  int run();

  [[nodiscard]] control::Main& model() { return *main_; }
  [[nodiscard]] int exitStatus() const { return exitStatus_; }
  [[nodiscard]] bool ended() const { return ended_; }
  // Repaints of the progress elements since the window was made.
  [[nodiscard]] int progressPaints() const { return progressPaints_; }
  // A child control by its element name ("txtProgressText", "cmdStart", ...).
  [[nodiscard]] HWND element(std::string_view name) const;

  void refresh(control::Element element, const control::MainWindowState& state) override;
  platform::Answer messageBox(const platform::MessageBox& box) override;
  void showLogin(control::frmLogin& login) override;
  void showReport(const control::frmReport& report) override;

 private:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void layout(int width, int height);
  void press(control::Button button);
  void endProgram(int status);
  void flushProgress();
  void showButtons(const control::MainWindowState& state);

  Font font_;
  HWND txtProgressText_ = nullptr;
  HWND txtProgressDetail_ = nullptr;
  HWND progressBar_ = nullptr;
  HWND Frame1_ = nullptr;
  HWND txtSolution_ = nullptr;
  HWND Website_ = nullptr;
  HWND txtCurrent_ = nullptr;
  HWND Line1_ = nullptr;
  HWND cmdRetrieveInfo_ = nullptr;
  HWND cmdStart_ = nullptr;
  HWND cmdCustimizationReport_ = nullptr;
  HWND cmdViewPlan_ = nullptr;
  std::optional<LoginDialog> login_;  // made on first use, hidden but never destroyed
  std::vector<std::unique_ptr<ReportWindow>> reports_;
  std::unique_ptr<control::Main> main_;

  struct Progress {
    std::string text;
    std::string detail;
    std::size_t done = 0;
    std::size_t total = 0;
  };
  Progress progress_;  // what the progress elements show at their next paint
  bool progressPending_ = false;
  std::chrono::steady_clock::time_point lastPaint_{};
  int progressPaints_ = 0;
  int exitStatus_ = platform::EndProgram::kStopped;
  bool ended_ = false;
  bool running_ = false;  // run() handles the messages: the end quits it
};

}  // namespace qsi::ui::win32
