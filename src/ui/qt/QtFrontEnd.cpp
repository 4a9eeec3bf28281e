#include "ui/qt/QtFrontEnd.h"

#include <QApplication>
#include <QTimer>

#include "platform/Interrupt.h"

#include "ui/qt/MainWindow.h"

namespace qsi::ui::qt {

int runQt(int argc, char** argv, control::Services services) {
  QApplication app(argc, argv);
  MainWindow window(std::move(services));
  window.show();
  // An interruption while no flow runs ends the program at the next look;
  // during a flow, the flow notices it itself.
  QTimer interruptions;
  QObject::connect(&interruptions, &QTimer::timeout, [&] {
    if (platform::interruptRequest() != 0 && !window.ended()) window.close();
  });
  interruptions.start(200);
  if (!window.start()) return window.exitStatus();
  const int status = QApplication::exec();
  return window.ended() ? window.exitStatus() : status;
}

}  // namespace qsi::ui::qt
