#pragma once

#include "control/Dialogs.h"
#include "ui/win32/Window.h"

namespace qsi::ui::win32 {

// frmLogin: the modal password dialog, made on first use and then only
// hidden, so that its password box keeps the text typed last.
class LoginDialog final : public Window {
 public:
  LoginDialog(HWND owner, const Font& font);
  // Shows the dialog over its owner with the model's last text and returns
  // when OK or Cancel was pressed; the model then holds the outcome.
  void ask(control::frmLogin& model);

 private:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void close(bool accepted);

  HWND owner_;
  HWND lblLabels_ = nullptr;
  HWND txtPassword_ = nullptr;
  HWND cmdOK_ = nullptr;
  HWND cmdCancel_ = nullptr;
  bool open_ = false;
  bool accepted_ = false;
};

// frmReport: one modeless report window, closed and discarded by its Exit button.
class ReportWindow final : public Window {
 public:
  ReportWindow(HWND owner, const Font& font, const control::frmReport& report);
  [[nodiscard]] bool isOpen() const { return handle() != nullptr; }

 private:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  HWND txtReport_ = nullptr;
  HWND cmdOK_ = nullptr;
};

}  // namespace qsi::ui::win32
