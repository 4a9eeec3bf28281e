#pragma once

#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <chrono>
#include <memory>
#include <optional>

#include "control/Main.h"
#include "control/View.h"
#include "ui/qt/Dialogs.h"

namespace qsi::ui::qt {

// The main window. Button presses run the flows on the user-interface thread;
// the progress boxes are repainted at once, but no more than once per screen
// refresh, and the last text is always painted.
class MainWindow final : public QWidget, public control::View {
  Q_OBJECT

 public:
  explicit MainWindow(control::Services services);
  ~MainWindow() override;

  // Starts the run (Form_Load); false when the program already ended.
  bool start();
  [[nodiscard]] control::Main& model() { return *main_; }
  [[nodiscard]] int exitStatus() const { return exitStatus_; }
  [[nodiscard]] bool ended() const { return ended_; }
  // Repaints of a progress box since the window was made (for tests).
  [[nodiscard]] int progressPaints() const { return progressPaints_; }

  void refresh(control::Element element, const control::MainWindowState& state) override;
  platform::Answer messageBox(const platform::MessageBox& box) override;
  void showLogin(control::frmLogin& login) override;
  void showReport(const control::frmReport& report) override;

 signals:
  void programEnded(int status);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void press(control::Button button);
  void endProgram(int status);
  void flushProgress();
  void showButtons(const control::MainWindowState& state);

  QVBoxLayout layout_{this};
  QLineEdit txtProgressText_;
  QLineEdit txtProgressDetail_;
  QProgressBar progressBar_;
  QHBoxLayout boxes_;
  QGroupBox Frame1_;
  QVBoxLayout frame1Layout_{&Frame1_};
  QPlainTextEdit txtSolution_;
  QGroupBox Website_;
  QVBoxLayout websiteLayout_{&Website_};
  QPlainTextEdit txtCurrent_;
  QFrame Line1_;
  QHBoxLayout buttons_;
  QPushButton cmdRetrieveInfo_;
  QPushButton cmdStart_;
  QPushButton cmdCustimizationReport_;
  QPushButton cmdViewPlan_;
  std::optional<LoginDialog> login_;  // made on first use, hidden but never destroyed
  std::unique_ptr<control::Main> main_;

  bool progressPending_ = false;
  std::chrono::steady_clock::time_point lastPaint_{};
  int progressPaints_ = 0;
  int exitStatus_ = platform::EndProgram::kStopped;
  bool ended_ = false;
};

}  // namespace qsi::ui::qt
