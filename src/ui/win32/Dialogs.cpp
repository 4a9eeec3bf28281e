#include "ui/win32/Dialogs.h"

namespace qsi::ui::win32 {

namespace {

constexpr const char* kLoginClass = "QSolutionInstaller.frmLogin";
constexpr const char* kReportClass = "QSolutionInstaller.frmReport";

// Puts a window in the middle of its owner.
void centerOver(HWND window, HWND owner) {
  RECT outer{};
  RECT inner{};
  GetWindowRect(owner, &outer);
  GetWindowRect(window, &inner);
  const int width = inner.right - inner.left;
  const int height = inner.bottom - inner.top;
  SetWindowPos(window, nullptr, outer.left + (outer.right - outer.left - width) / 2,
               outer.top + (outer.bottom - outer.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

LoginDialog::LoginDialog(HWND owner, const Font& font) : owner_(owner) {
  create(kLoginClass, WS_EX_DLGMODALFRAME, WS_POPUP | WS_CAPTION | WS_SYSMENU,
         control::frmLogin::caption, 320, 84, owner);
  const HWND self = handle();
  lblLabels_ = createControl(self, "STATIC", control::frmLogin::lblLabels, SS_LEFT, -1, font);
  txtPassword_ = createControl(self, "EDIT", "", WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL, 100,
                               font, WS_EX_CLIENTEDGE);
  SendMessageA(txtPassword_, EM_SETPASSWORDCHAR, '*', 0);
  cmdOK_ = createControl(self, "BUTTON", "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, font);
  cmdCancel_ = createControl(self, "BUTTON", "Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, font);
  place(lblLabels_, 12, 16, 96, 18);
  place(txtPassword_, 112, 12, 196, 22);
  place(cmdOK_, 140, 48, 80, 26);
  place(cmdCancel_, 228, 48, 80, 26);
}

void LoginDialog::ask(control::frmLogin& model) {
  setWindowText(txtPassword_, model.txtPassword);
  SendMessageA(txtPassword_, EM_SETSEL, 0, -1);
  centerOver(handle(), owner_);
  EnableWindow(owner_, FALSE);
  ShowWindow(handle(), SW_SHOW);
  SetFocus(txtPassword_);
  open_ = true;
  accepted_ = false;
  MSG message;
  while (open_) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got <= 0) {
      // The program is being ended: pass the quit on and cancel.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      close(false);
      break;
    }
    if (IsDialogMessageA(handle(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  model.txtPassword = windowText(txtPassword_);
  if (accepted_)
    model.cmdOK_Click();
  else
    model.cmdCancel_Click();
}

void LoginDialog::close(bool accepted) {
  if (!open_) return;
  open_ = false;
  accepted_ = accepted;
  // The owner comes back first, so that it, not another program, is activated.
  EnableWindow(owner_, TRUE);
  ShowWindow(handle(), SW_HIDE);
  SetActiveWindow(owner_);
}

LRESULT LoginDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case DM_GETDEFID:  // Enter presses OK
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        close(LOWORD(wParam) == IDOK);
        return 0;
      }
      break;
    case WM_CLOSE:
      close(false);
      return 0;
    default:
      break;
  }
  return Window::onMessage(message, wParam, lParam);
}

ReportWindow::ReportWindow(HWND owner, const Font& font, const control::frmReport& report) {
  create(kReportClass, 0, WS_OVERLAPPEDWINDOW, report.caption, 640, 400, owner);
  const HWND self = handle();
  txtReport_ = createControl(self, "EDIT", "",
                             WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                                 ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                             100, font, WS_EX_CLIENTEDGE);
  setWindowText(txtReport_, report.txtReport);
  cmdOK_ = createControl(self, "BUTTON", control::frmReport::cmdOK, WS_TABSTOP | BS_PUSHBUTTON,
                         IDOK, font);
  RECT client{};
  GetClientRect(self, &client);
  onMessage(WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
  ShowWindow(self, SW_SHOW);
}

LRESULT ReportWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE: {
      const int width = LOWORD(lParam);
      const int height = HIWORD(lParam);
      place(txtReport_, 8, 8, width - 16, height - 52);
      place(cmdOK_, width - 96, height - 36, 88, 28);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        DestroyWindow(handle());
        return 0;
      }
      break;
    default:
      break;
  }
  return Window::onMessage(message, wParam, lParam);
}

}  // namespace qsi::ui::win32
