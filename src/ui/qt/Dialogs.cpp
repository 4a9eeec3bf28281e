#include "ui/qt/Dialogs.h"

#include <QFontDatabase>

namespace qsi::ui::qt {

QString toQt(std::string_view text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

void useTahoma(QWidget& widget) {
  if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
    QFont font = widget.font();
    font.setFamily(QStringLiteral("Tahoma"));
    widget.setFont(font);
  }
}

LoginDialog::LoginDialog(QWidget* owner)
    : QDialog(owner),
      lblLabels_(toQt(control::frmLogin::lblLabels)),
      cmdOK_(QStringLiteral("OK")),
      cmdCancel_(QStringLiteral("Cancel")) {
  setObjectName(QStringLiteral("frmLogin"));
  setWindowTitle(toQt(control::frmLogin::caption));
  setModal(true);
  lblLabels_.setObjectName(QStringLiteral("lblLabels"));
  txtPassword_.setObjectName(QStringLiteral("txtPassword"));
  txtPassword_.setEchoMode(QLineEdit::Password);
  lblLabels_.setBuddy(&txtPassword_);
  cmdOK_.setObjectName(QStringLiteral("cmdOK"));
  cmdOK_.setDefault(true);
  cmdCancel_.setObjectName(QStringLiteral("cmdCancel"));
  connect(&cmdOK_, &QPushButton::clicked, this, &QDialog::accept);
  connect(&cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);
  fields_.addWidget(&lblLabels_);
  fields_.addWidget(&txtPassword_);
  buttons_.addStretch();
  buttons_.addWidget(&cmdOK_);
  buttons_.addWidget(&cmdCancel_);
  layout_.addLayout(&fields_);
  layout_.addLayout(&buttons_);
}

LoginDialog::~LoginDialog() {
  // Member layouts must not be deleted by the layout that holds them.
  layout_.removeItem(&fields_);
  layout_.removeItem(&buttons_);
}

void LoginDialog::ask(control::frmLogin& model) {
  txtPassword_.setText(QString::fromLocal8Bit(model.txtPassword.c_str()));
  txtPassword_.setFocus();
  const int result = exec();
  model.txtPassword = txtPassword_.text().toLocal8Bit().toStdString();
  if (result == QDialog::Accepted)
    model.cmdOK_Click();
  else
    model.cmdCancel_Click();
}

ReportWindow::ReportWindow(const control::frmReport& report)
    : cmdOK_(toQt(control::frmReport::cmdOK)) {
  setObjectName(QStringLiteral("frmReport"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(toQt(report.caption));
  useTahoma(*this);
  txtReport_.setObjectName(QStringLiteral("txtReport"));
  txtReport_.setReadOnly(true);
  txtReport_.setLineWrapMode(QPlainTextEdit::NoWrap);
  txtReport_.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtReport_.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtReport_.setPlainText(toQt(report.txtReport));
  cmdOK_.setObjectName(QStringLiteral("cmdOK"));
  connect(&cmdOK_, &QPushButton::clicked, this, &QWidget::close);
  layout_.addWidget(&txtReport_);
  layout_.addWidget(&cmdOK_, 0, Qt::AlignRight);
  resize(640, 400);
}

}  // namespace qsi::ui::qt
