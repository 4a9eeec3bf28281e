#pragma once

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "control/Dialogs.h"

namespace qsi::ui::qt {

// frmLogin: the modal password dialog.
class LoginDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit LoginDialog(QWidget* owner);
  ~LoginDialog() override;
  // Shows the dialog modally with the model's last text; updates the model
  // from the button pressed.
  void ask(control::frmLogin& model);

 private:
  QVBoxLayout layout_{this};
  QHBoxLayout fields_;
  QHBoxLayout buttons_;
  QLabel lblLabels_;
  QLineEdit txtPassword_;
  QPushButton cmdOK_;
  QPushButton cmdCancel_;
};

// frmReport: one modeless report window, closed by its own button.
class ReportWindow final : public QWidget {
  Q_OBJECT

 public:
  explicit ReportWindow(const control::frmReport& report);

 private:
  QVBoxLayout layout_{this};
  QPlainTextEdit txtReport_;
  QPushButton cmdOK_;
};

// The Tahoma font where the machine has it.
void useTahoma(QWidget& widget);

// A text of the installer (ANSI bytes) for Qt, and back.
QString toQt(std::string_view text);

}  // namespace qsi::ui::qt
