#include "ui/qt/QtFrontEnd.h"

#include <QApplication>

#include "ui/qt/MainWindow.h"

namespace qsi::ui::qt {

int runQt(int argc, char** argv, control::Services services) {
  QApplication app(argc, argv);
  MainWindow window(std::move(services));
  window.show();
  if (!window.start()) return window.exitStatus();
  const int status = QApplication::exec();
  return window.ended() ? window.exitStatus() : status;
}

}  // namespace qsi::ui::qt
