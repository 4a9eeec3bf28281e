#include "ui/win32/MainWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "platform/Failure.h"
#include "platform/Interrupt.h"
#include "ui/win32/Win32FrontEnd.h"

namespace qsi::ui::win32 {

using control::Element;
using control::MainWindowState;

namespace {

constexpr const char* kMainClass = "QSolutionInstaller.Main";
constexpr std::string_view kCaption = control::kMainWindowCaption;
constexpr auto kRefreshInterval = std::chrono::milliseconds(16);
constexpr int kRetrieveId = 101;
constexpr int kStartId = 102;
constexpr int kReportId = 103;
constexpr int kViewPlanId = 104;
constexpr UINT_PTR kInterruptTimer = 1;

constexpr int kButtonPadding = 12;  // either side of a button's caption

constexpr DWORD kProgressBox = WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY;
constexpr DWORD kInfoBox = WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                           ES_AUTOVSCROLL | ES_AUTOHSCROLL;

// The width of a control's text in its own font.
int captionWidth(HWND control) {
  const std::string caption = windowText(control);
  const HDC dc = GetDC(control);
  const HGDIOBJ font =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
  SelectObject(dc, font);
  ReleaseDC(control, dc);
  return size.cx;
}

}  // namespace

MainWindow::MainWindow(control::Services services) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  create(kMainClass, 0, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, kCaption, 820, 520, nullptr);
  const HWND self = handle();
  txtProgressText_ = createControl(self, "EDIT", "", kProgressBox, 0, font_, WS_EX_CLIENTEDGE);
  txtProgressDetail_ = createControl(self, "EDIT", "", kProgressBox, 0, font_, WS_EX_CLIENTEDGE);
  progressBar_ = createControl(self, PROGRESS_CLASSA, "", 0, 0, font_);
  Frame1_ = createControl(self, "BUTTON", "Solution Info", BS_GROUPBOX, 0, font_);
  txtSolution_ = createControl(self, "EDIT", "", kInfoBox, 0, font_, WS_EX_CLIENTEDGE);
  Website_ = createControl(self, "BUTTON", "Current Installation Info", BS_GROUPBOX, 0, font_);
  txtCurrent_ = createControl(self, "EDIT", "", kInfoBox, 0, font_, WS_EX_CLIENTEDGE);
  Line1_ = createControl(self, "STATIC", "", SS_ETCHEDHORZ, 0, font_);
  cmdRetrieveInfo_ =
      createControl(self, "BUTTON", "Retrieve information about the current installation",
                    WS_TABSTOP | BS_PUSHBUTTON, kRetrieveId, font_);
  cmdStart_ = createControl(self, "BUTTON", "Start Installation", WS_TABSTOP | BS_PUSHBUTTON,
                            kStartId, font_);
  cmdCustimizationReport_ = createControl(self, "BUTTON", "View Customizations Report",
                                          WS_TABSTOP | BS_PUSHBUTTON, kReportId, font_);
  cmdViewPlan_ = createControl(self, "BUTTON", control::kViewPlanCaption,
                               WS_TABSTOP | BS_PUSHBUTTON, kViewPlanId, font_);
  SendMessageA(progressBar_, PBM_SETRANGE32, 0, 1);
  RECT client{};
  GetClientRect(self, &client);
  layout(client.right, client.bottom);
  main_ = std::make_unique<control::Main>(std::move(services), *this);
  showButtons(main_->state());
}

MainWindow::~MainWindow() {
  reports_.clear();
  login_.reset();
  if (handle() != nullptr) DestroyWindow(handle());  // while the font is still there
}

HWND MainWindow::element(std::string_view name) const {
  const std::pair<std::string_view, HWND> elements[] = {
      {"txtProgressText", txtProgressText_},
      {"txtProgressDetail", txtProgressDetail_},
      {"progressBar", progressBar_},
      {"Frame1", Frame1_},
      {"txtSolution", txtSolution_},
      {"Website", Website_},
      {"txtCurrent", txtCurrent_},
      {"Line1", Line1_},
      {"cmdRetrieveInfo", cmdRetrieveInfo_},
      {"cmdStart", cmdStart_},
      {"cmdCustimizationReport", cmdCustimizationReport_},
      {"cmdViewPlan", cmdViewPlan_}};
  for (const auto& [elementName, control] : elements)
    if (elementName == name) return control;
  return nullptr;
}

void MainWindow::layout(int width, int height) {
  if (cmdViewPlan_ == nullptr) return;  // sized while being made: no controls yet
  constexpr int kMargin = 10;
  const int inner = width - 2 * kMargin;
  place(txtProgressText_, kMargin, 10, inner, 22);
  place(txtProgressDetail_, kMargin, 36, inner, 22);
  place(progressBar_, kMargin, 62, inner, 16);
  const int top = 86;
  const int bottom = height - 60;
  const int half = (inner - kMargin) / 2;
  place(Frame1_, kMargin, top, half, bottom - top);
  place(txtSolution_, kMargin + 8, top + 18, half - 16, bottom - top - 26);
  place(Website_, 2 * kMargin + half, top, half, bottom - top);
  place(txtCurrent_, 2 * kMargin + half + 8, top + 18, half - 16, bottom - top - 26);
  place(Line1_, kMargin, height - 48, inner, 2);
  // The buttons side by side, each as wide as its caption in the font the
  // machine gives us.
  int x = kMargin;
  for (const HWND button : {cmdRetrieveInfo_, cmdStart_, cmdCustimizationReport_, cmdViewPlan_}) {
    const int buttonWidth = captionWidth(button) + 2 * kButtonPadding;
    place(button, x, height - 38, buttonWidth, 28);
    x += buttonWidth + kMargin;
  }
}

bool MainWindow::start() {
  ShowWindow(handle(), SW_SHOW);
  UpdateWindow(handle());
  // An interruption while no flow runs (Ctrl-C in the console that started
  // us) ends the program at the next look.
  SetTimer(handle(), kInterruptTimer, 200, nullptr);
  if (const auto end = main_->Form_Load()) {
    endProgram(end->exitStatus());
    return false;
  }
  flushProgress();
  return true;
}

int MainWindow::run() {
  running_ = true;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    // Tab and the access keys move between the controls of each window.
    const HWND top = GetAncestor(message.hwnd, GA_ROOT);
    if (top != nullptr && IsDialogMessageA(top, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return exitStatus_;
}

void MainWindow::press(control::Button button) {
  if (ended_) return;
  if (const auto end = main_->press(button))
    endProgram(end->exitStatus());
  else
    flushProgress();
}

void MainWindow::endProgram(int status) {
  exitStatus_ = status;
  ended_ = true;
  reports_.clear();
  login_.reset();
  if (handle() != nullptr) DestroyWindow(handle());
}

LRESULT MainWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      layout(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
          case kRetrieveId:
            press(control::Button::cmdRetrieveInfo);
            return 0;
          case kStartId:
            press(control::Button::cmdStart);
            return 0;
          case kReportId:
            press(control::Button::cmdCustimizationReport);
            return 0;
          case kViewPlanId:
            press(control::Button::cmdViewPlan);
            return 0;
          default:
            break;
        }
      }
      break;
    case WM_TIMER:
      if (wParam == kInterruptTimer && platform::interruptRequest() != 0)
        endProgram(platform::EndProgram::kStopped);
      return 0;
    case WM_CLOSE:
      // Closing the window ends the program as the user's choice.
      endProgram(platform::EndProgram::kStopped);
      return 0;
    case WM_DESTROY:
      ended_ = true;
      if (running_) PostQuitMessage(exitStatus_);
      return 0;
    default:
      break;
  }
  return Window::onMessage(message, wParam, lParam);
}

void MainWindow::refresh(Element element, const MainWindowState& state) {
  switch (element) {
    case Element::txtProgressText:
    case Element::txtProgressDetail:
    case Element::progressBar:
      // Kept until the next paint: setting a control's text costs about as
      // much as painting it.
      progress_ = {state.txtProgressText, state.txtProgressDetail, state.filesDone,
                   state.filesTotal};
      progressPending_ = true;
      if (std::chrono::steady_clock::now() - lastPaint_ >= kRefreshInterval) flushProgress();
      return;
    case Element::txtSolution:
      setWindowText(txtSolution_, state.txtSolution);
      return;
    case Element::txtCurrent:
      setWindowText(txtCurrent_, state.txtCurrent);
      return;
    case Element::buttons:
      showButtons(state);
      return;
  }
}

void MainWindow::flushProgress() {
  if (!progressPending_ || handle() == nullptr) return;
  setWindowText(txtProgressText_, progress_.text);
  setWindowText(txtProgressDetail_, progress_.detail);
  // Files done of files to do; empty while no file loop runs.
  SendMessageA(progressBar_, PBM_SETRANGE32, 0,
               static_cast<LPARAM>(std::max<std::size_t>(progress_.total, 1)));
  SendMessageA(progressBar_, PBM_SETPOS, static_cast<WPARAM>(progress_.done), 0);
  UpdateWindow(txtProgressText_);
  UpdateWindow(txtProgressDetail_);
  UpdateWindow(progressBar_);
  ++progressPaints_;
  progressPending_ = false;
  lastPaint_ = std::chrono::steady_clock::now();
}

void MainWindow::showButtons(const MainWindowState& state) {
  EnableWindow(cmdRetrieveInfo_, state.cmdRetrieveInfoEnabled);
  EnableWindow(cmdStart_, state.cmdStartEnabled);
  EnableWindow(cmdCustimizationReport_, state.cmdCustimizationReportEnabled);
  EnableWindow(cmdViewPlan_, state.cmdViewPlanEnabled);
}

platform::Answer MainWindow::messageBox(const platform::MessageBox& box) {
  flushProgress();
  // Told to end from outside: nobody is there to press a button.
  if (platform::nobodyToAnswer()) return platform::unanswered(box.buttons);
  UINT type = box.buttons == platform::Buttons::RetryCancel ? MB_RETRYCANCEL
              : box.buttons == platform::Buttons::YesNo     ? MB_YESNO
                                                            : MB_OK;
  if (box.icon == platform::Icon::Information) type |= MB_ICONINFORMATION;
  if (box.icon == platform::Icon::Warning) type |= MB_ICONWARNING;
  if (box.icon == platform::Icon::Critical) type |= MB_ICONSTOP;
  std::string text;
  for (std::size_t i = 0; i < box.text.size(); ++i) {
    if (box.text[i] == '\n' && (i == 0 || box.text[i - 1] != '\r')) text.push_back('\r');
    text.push_back(box.text[i]);
  }
  const int pressed = MessageBoxA(handle(), text.c_str(), box.title.c_str(), type);
  // OK, Cancel, No, or no box at all: the answer that changes nothing.
  if (pressed == IDRETRY) return platform::Answer::Retry;
  if (pressed == IDYES) return platform::Answer::Yes;
  return platform::unanswered(box.buttons);
}

void MainWindow::showLogin(control::frmLogin& login) {
  flushProgress();
  if (!login_) login_.emplace(handle(), font_);
  login_->ask(login);
}

void MainWindow::showReport(const control::frmReport& report) {
  std::erase_if(reports_, [](const auto& window) { return !window->isOpen(); });
  reports_.push_back(std::make_unique<ReportWindow>(handle(), font_, report));
}

int runWin32(control::Services services) {
  // Started from the desktop, the program gets a console window of its own,
  // which the window front-end has no use for; a console it shares with the
  // program that started it stays.
  DWORD attached[2];
  if (GetConsoleWindow() != nullptr && GetConsoleProcessList(attached, 2) == 1) FreeConsole();
  MainWindow window(std::move(services));
  if (!window.start()) return window.exitStatus();
  return window.run();
}

}  // namespace qsi::ui::win32
