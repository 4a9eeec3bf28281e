#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <deque>
#include <filesystem>
#include <functional>

#include "actions/ActionServices.h"
#include "support/OdbcSources.h"
#include "support/TestSite.h"
#include "ui/qt/MainWindow.h"

using namespace qsi;

namespace {

const std::string kConfig =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig";

// Answers the modal windows as they come up, in script order, and records
// the message boxes it saw as "title|text".
class Answerer : public QObject {
 public:
  std::deque<std::function<void(QWidget*)>> script;
  QStringList boxes;

  Answerer() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { answer(); });
    timer_.start();
  }

 private:
  void answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == last_ || script.empty()) return;
    last_ = modal;
    if (auto* box = qobject_cast<QMessageBox*>(modal))
      boxes << box->windowTitle() + "|" + box->text();
    auto next = std::move(script.front());
    script.pop_front();
    next(modal);
  }
  QTimer timer_;
  QPointer<QWidget> last_;
};

void pressOk(QWidget* box) {
  auto* messageBox = qobject_cast<QMessageBox*>(box);
  QVERIFY(messageBox != nullptr);
  QTest::mouseClick(messageBox->button(QMessageBox::Ok), Qt::LeftButton);
}

void typePassword(QWidget* dialog) {
  QCOMPARE(dialog->objectName(), QStringLiteral("frmLogin"));
  auto* password = dialog->findChild<QLineEdit*>(QStringLiteral("txtPassword"));
  QCOMPARE(password->echoMode(), QLineEdit::Password);
  QTest::keyClicks(password, QStringLiteral("secret"));
  QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
}

QList<QWidget*> reportWindows() {
  QList<QWidget*> found;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QStringLiteral("frmReport") && w->isVisible()) found << w;
  return found;
}

}  // namespace

class QtWindowTest : public QObject {
  Q_OBJECT

 private:
  test::TestSite site;
  test::FixedClock clock;
  actions::NativeActionServices actions{site.registry};
  std::unique_ptr<test::OdbcSources> sources;

  control::Services services() {
    return {site.registry, site.profiles, clock, site.installer, actions.services()};
  }
  template <typename T>
  static T* child(QWidget& window, const char* name) {
    return window.findChild<T*>(QString::fromLatin1(name));
  }
  // The four buttons, in their row's order: 1 for enabled.
  static QString enabledButtons(QWidget& window) {
    QString enabled;
    for (const char* name :
         {"cmdRetrieveInfo", "cmdStart", "cmdCustimizationReport", "cmdViewPlan"})
      enabled += child<QPushButton>(window, name)->isEnabled() ? '1' : '0';
    return enabled;
  }

 private slots:
  void initTestCase() {
    site.writeRegistry(
        kConfig + "]\r\n\"Hostname\"=\"WEB01\"\r\n" + kConfig +
        "\\Modules\\Q-Alder]\r\n\"Installed\"=\"1\"\r\n\"AppVersion\"=\"2.1.0.0\"\r\n" + kConfig +
        "\\Modules\\Q-Common]\r\n\"AppVersion\"=\"2.1.0.0\"\r\n");
    site.writePackage(
        "configuration files/Solution.info",
        "[ReleaseInfo]\nProductName=Q-Alder\nVersion=2.1.1.0\nSolutionType=Solution\n");
    site.writePackage("configuration files/Q-Alder.ini", "[ReleaseInfo]\nVersion=2.1.1.0\n");
    site.writePackage("Web/Q-Alder/default.asp", "new page");
    site.write("inst/QO11/Q-Alder/default.asp", "our page");
    sources = std::make_unique<test::OdbcSources>();
    sources->addSqlite("QOMetabase");
    sources->exec("QOMetabase",
                  "INSERT INTO OBJECT(MACHINE,SERVER,OBJECT,CHECKSUM) VALUES "
                  "('WEB01','WebServer','QO11\\Q-Alder\\default.asp','1234')");
  }

  // A window that ended the program told the application to quit, and every
  // later dialog would return at once: each test starts with that undone.
  void init() {
    QTimer::singleShot(0, qApp, [] { QApplication::exit(0); });
    QApplication::exec();
  }

  // The built program loads this window from its module, and the window
  // ends at an interruption that the program's own handlers noted. The
  // console would have shown its menu on standard output.
  void builtProgramShowsTheWindowFromItsModule() {
    const auto program = site.installer / "qsolutioninstaller";
    std::filesystem::copy_file(QSI_INSTALLER_EXE, program);
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QSI_FRONTEND"), QStringLiteral("qt"));
    env.insert(QStringLiteral("QSI_REGISTRY"), QString::fromStdString(site.registryFile.string()));
    run.setProcessEnvironment(env);
    run.start(QString::fromStdString(program.string()), {});
    QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(site.instMainDir / "QOLog"), 20000);
    run.terminate();
    QVERIFY(run.waitForFinished(20000));
    QCOMPARE(run.exitCode(), 2);
    QCOMPARE(run.readAllStandardOutput(), QByteArray());
    std::filesystem::remove_all(site.instMainDir / "QOLog");
  }

  void retrieveReportAndStartThroughTheButtons() {
    ui::qt::MainWindow window(services());
    window.show();
    QVERIFY(window.start());
    QCOMPARE(window.windowTitle(), QStringLiteral("Q-Orchard Solution Installer"));
    QCOMPARE(enabledButtons(window), QStringLiteral("1000"));
    QCOMPARE(child<QPushButton>(window, "cmdViewPlan")->text(),
             QStringLiteral("View Installation Plan"));
    QVERIFY(child<QPlainTextEdit>(window, "txtSolution")
                ->toPlainText()
                .startsWith(QStringLiteral("ProductName    : Q-Alder\n")));
    QVERIFY(child<QPlainTextEdit>(window, "txtCurrent")->toPlainText().isEmpty());

    Answerer answerer;
    answerer.script = {typePassword, pressOk, pressOk};
    QTest::mouseClick(child<QPushButton>(window, "cmdRetrieveInfo"), Qt::LeftButton);
    QVERIFY(answerer.script.empty());
    QCOMPARE(answerer.boxes.size(), 2);
    QVERIFY(answerer.boxes[0].startsWith(
        QStringLiteral("Q-SolutionInstaller|The Installer is about to read")));
    QVERIFY(
        answerer.boxes[1].startsWith(QStringLiteral("QSolutionInstaller|The info is retrieved.")));
    QCOMPARE(enabledButtons(window), QStringLiteral("0111"));
    QVERIFY(child<QPlainTextEdit>(window, "txtCurrent")
                ->toPlainText()
                .contains(QStringLiteral("Q-Alder : 2.1.0.0")));

    // scripts/screenshot.sh asks for a picture of the window in this state.
    if (const QString shot = qEnvironmentVariable("QSI_SCREENSHOT"); !shot.isEmpty())
      QVERIFY(window.grab().save(shot));

    // Both report windows at once, each closed by its own button.
    QTest::mouseClick(child<QPushButton>(window, "cmdCustimizationReport"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(window, "cmdViewPlan"), Qt::LeftButton);
    const auto reports = reportWindows();
    QCOMPARE(reports.size(), 2);
    QString shown;
    for (QWidget* report : reports)
      shown += report->windowTitle() + ": " + report->findChild<QPlainTextEdit*>()->toPlainText();
    for (const char* part :
         {"Customizations: ", "Installation Plan: ", "QO11\\Q-Alder\\default.asp"})
      QVERIFY2(shown.contains(QString::fromLatin1(part)), part);
    QTest::mouseClick(reports[0]->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QTRY_COMPARE(reportWindows().size(), 1);

    answerer.script = {pressOk};
    QTest::mouseClick(child<QPushButton>(window, "cmdStart"), Qt::LeftButton);
    QCOMPARE(enabledButtons(window), QStringLiteral("0010"));
    QVERIFY(window.ended());
    QCOMPARE(window.exitStatus(), 0);
    QVERIFY(answerer.boxes.last().startsWith(
        QStringLiteral("Q-SolutionInstaller|The setup program has finished updating Q-Alder.")));
    QTRY_COMPARE(reportWindows().size(), 0);
  }

  void progressPaintsAtMostOncePerRefreshAndAlwaysTheLastText() {
    ui::qt::MainWindow window(services());
    window.show();
    control::MainWindowState state;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 100000; ++i) {
      state.txtProgressDetail = "file " + std::to_string(i);
      window.refresh(control::Element::txtProgressDetail, state);
    }
    const auto elapsedMs = timer.elapsed();
    QVERIFY2(window.progressPaints() <= elapsedMs / 16 + 2,
             qPrintable(QString::number(window.progressPaints())));
    QVERIFY(window.progressPaints() > 0);
    // A box paints what is still pending before it shows; a Yes/No box
    // answers with the button pressed.
    const int before = window.progressPaints();
    state.txtProgressDetail = "last";
    window.refresh(control::Element::txtProgressDetail, state);
    Answerer answerer;
    QMessageBox::StandardButtons shown;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    answerer.script = {[&](QWidget* box) {
      auto* messageBox = qobject_cast<QMessageBox*>(box);
      shown = messageBox->standardButtons();
      icon = messageBox->icon();
      QTest::mouseClick(messageBox->button(QMessageBox::Yes), Qt::LeftButton);
    }};
    QCOMPARE(window.messageBox({"Go on?", platform::Buttons::YesNo, platform::Icon::Warning}),
             platform::Answer::Yes);
    QCOMPARE(shown, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(icon, QMessageBox::Warning);
    QVERIFY(window.progressPaints() == before + 1);
    QCOMPARE(child<QLineEdit>(window, "txtProgressDetail")->text(), QStringLiteral("last"));
  }
};

QTEST_MAIN(QtWindowTest)
#include "QtWindowTest.moc"
