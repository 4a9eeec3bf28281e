#include "ui/qt/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>

#include "platform/Failure.h"
#include "platform/Interrupt.h"
#include "platform/Text.h"

namespace qsi::ui::qt {

using control::Element;
using control::MainWindowState;

namespace {

constexpr auto kRefreshInterval = std::chrono::milliseconds(16);

void setUp(QPlainTextEdit& box, const char* name) {
  box.setObjectName(QString::fromLatin1(name));
  box.setReadOnly(true);
  box.setLineWrapMode(QPlainTextEdit::NoWrap);
}

QString fromCrLf(std::string_view text) {
  return toQt(platform::replaceAll(text, "\r\n", "\n"));
}

}  // namespace

MainWindow::MainWindow(control::Services services)
    : Frame1_(QStringLiteral("Solution Info")),
      Website_(QStringLiteral("Current Installation Info")),
      cmdRetrieveInfo_(QStringLiteral("Retrieve information about the current installation")),
      cmdStart_(QStringLiteral("Start Installation")),
      cmdCustimizationReport_(QStringLiteral("View Customizations Report")),
      cmdViewPlan_(toQt(control::kViewPlanCaption)),
      main_(std::make_unique<control::Main>(std::move(services), *this)) {
  setObjectName(QStringLiteral("Main"));
  setWindowTitle(toQt(control::kMainWindowCaption));
  useTahoma(*this);
  txtProgressText_.setObjectName(QStringLiteral("txtProgressText"));
  txtProgressText_.setReadOnly(true);
  txtProgressDetail_.setObjectName(QStringLiteral("txtProgressDetail"));
  txtProgressDetail_.setReadOnly(true);
  progressBar_.setObjectName(QStringLiteral("progressBar"));
  progressBar_.setRange(0, 1);
  progressBar_.setValue(0);
  progressBar_.setFormat(QString());
  Frame1_.setObjectName(QStringLiteral("Frame1"));
  Website_.setObjectName(QStringLiteral("Website"));
  setUp(txtSolution_, "txtSolution");
  setUp(txtCurrent_, "txtCurrent");
  Line1_.setObjectName(QStringLiteral("Line1"));
  Line1_.setFrameShape(QFrame::HLine);
  Line1_.setFrameShadow(QFrame::Sunken);
  cmdRetrieveInfo_.setObjectName(QStringLiteral("cmdRetrieveInfo"));
  cmdStart_.setObjectName(QStringLiteral("cmdStart"));
  cmdCustimizationReport_.setObjectName(QStringLiteral("cmdCustimizationReport"));
  cmdViewPlan_.setObjectName(QStringLiteral("cmdViewPlan"));

  frame1Layout_.addWidget(&txtSolution_);
  websiteLayout_.addWidget(&txtCurrent_);
  boxes_.addWidget(&Frame1_);
  boxes_.addWidget(&Website_);
  layout_.addWidget(&txtProgressText_);
  layout_.addWidget(&txtProgressDetail_);
  layout_.addWidget(&progressBar_);
  layout_.addLayout(&boxes_, 1);
  layout_.addWidget(&Line1_);
  buttons_.addWidget(&cmdRetrieveInfo_);
  buttons_.addWidget(&cmdStart_);
  buttons_.addWidget(&cmdCustimizationReport_);
  buttons_.addWidget(&cmdViewPlan_);
  layout_.addLayout(&buttons_);
  resize(820, 520);

  connect(&cmdRetrieveInfo_, &QPushButton::clicked, this,
          [this] { press(control::Button::cmdRetrieveInfo); });
  connect(&cmdStart_, &QPushButton::clicked, this, [this] { press(control::Button::cmdStart); });
  connect(&cmdCustimizationReport_, &QPushButton::clicked, this,
          [this] { press(control::Button::cmdCustimizationReport); });
  connect(&cmdViewPlan_, &QPushButton::clicked, this,
          [this] { press(control::Button::cmdViewPlan); });
  showButtons(main_->state());
}

MainWindow::~MainWindow() {
  // Member layouts must not be deleted by the layout that holds them.
  layout_.removeItem(&boxes_);
  layout_.removeItem(&buttons_);
}

bool MainWindow::start() {
  if (const auto end = main_->Form_Load()) {
    endProgram(end->exitStatus());
    return false;
  }
  flushProgress();
  return true;
}

void MainWindow::press(control::Button button) {
  if (ended_) return;
  if (const auto end = main_->press(button))
    endProgram(end->exitStatus());
  else
    flushProgress();
}

void MainWindow::endProgram(int status) {
  ended_ = true;
  exitStatus_ = status;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window != this) window->close();
  close();
  emit programEnded(status);
  QApplication::exit(status);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!ended_) {
    ended_ = true;
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window != this) window->close();
  }
  event->accept();
}

void MainWindow::refresh(Element element, const MainWindowState& state) {
  switch (element) {
    case Element::txtProgressText:
      txtProgressText_.setText(toQt(state.txtProgressText));
      break;
    case Element::txtProgressDetail:
      txtProgressDetail_.setText(toQt(state.txtProgressDetail));
      break;
    case Element::progressBar:
      // Files done of files to do; empty while no file loop runs.
      progressBar_.setFormat(state.filesTotal == 0 ? QString() : QStringLiteral("%v of %m files"));
      progressBar_.setRange(0, static_cast<int>(std::max<std::size_t>(state.filesTotal, 1)));
      progressBar_.setValue(static_cast<int>(state.filesDone));
      break;
    case Element::txtSolution:
      txtSolution_.setPlainText(fromCrLf(state.txtSolution));
      return;
    case Element::txtCurrent:
      txtCurrent_.setPlainText(fromCrLf(state.txtCurrent));
      return;
    case Element::buttons:
      showButtons(state);
      return;
  }
  progressPending_ = true;
  if (std::chrono::steady_clock::now() - lastPaint_ >= kRefreshInterval) flushProgress();
}

void MainWindow::flushProgress() {
  if (!progressPending_) return;
  txtProgressText_.repaint();
  txtProgressDetail_.repaint();
  progressBar_.repaint();
  ++progressPaints_;
  progressPending_ = false;
  lastPaint_ = std::chrono::steady_clock::now();
}

void MainWindow::showButtons(const MainWindowState& state) {
  cmdRetrieveInfo_.setEnabled(state.cmdRetrieveInfoEnabled);
  cmdStart_.setEnabled(state.cmdStartEnabled);
  cmdCustimizationReport_.setEnabled(state.cmdCustimizationReportEnabled);
  cmdViewPlan_.setEnabled(state.cmdViewPlanEnabled);
}

platform::Answer MainWindow::messageBox(const platform::MessageBox& box) {
  flushProgress();
  // Told to end from outside: nobody is there to press a button.
  if (platform::nobodyToAnswer()) return platform::unanswered(box.buttons);
  const QMessageBox::StandardButtons buttons =
      box.buttons == platform::Buttons::RetryCancel ? (QMessageBox::Retry | QMessageBox::Cancel)
      : box.buttons == platform::Buttons::YesNo     ? (QMessageBox::Yes | QMessageBox::No)
                                                    : QMessageBox::Ok;
  const QMessageBox::Icon icon = box.icon == platform::Icon::Critical  ? QMessageBox::Critical
                                 : box.icon == platform::Icon::Warning ? QMessageBox::Warning
                                 : box.icon == platform::Icon::Information
                                     ? QMessageBox::Information
                                     : QMessageBox::NoIcon;
  QMessageBox dialog(icon, toQt(box.title), fromCrLf(box.text), buttons, this);
  dialog.setObjectName(QStringLiteral("messageBox"));
  const int pressed = dialog.exec();
  // OK, Cancel, No, or the box closed by Escape: the answer that changes nothing.
  if (pressed == QMessageBox::Retry) return platform::Answer::Retry;
  if (pressed == QMessageBox::Yes) return platform::Answer::Yes;
  return platform::unanswered(box.buttons);
}

void MainWindow::showLogin(control::frmLogin& login) {
  flushProgress();
  if (!login_) login_.emplace(this);
  login_->ask(login);
}

void MainWindow::showReport(const control::frmReport& report) {
  // The window deletes itself when its Exit button closes it.
  auto window = std::make_unique<ReportWindow>(report);
  window->show();
  (void)window.release();
}

}  // namespace qsi::ui::qt
