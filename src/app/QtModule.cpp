#include <utility>

#include "ui/qt/QtFrontEnd.h"

// What the program looks up when it loads the Qt window's module. The core
// the window calls is the program's own, so that both see one state (the
// interruption noted by the program's signal handlers among it).
extern "C" [[gnu::visibility("default")]] int qsiRunQt(int argc, char** argv,
                                                       qsi::control::Services* services) {
  return qsi::ui::qt::runQt(argc, argv, std::move(*services));
}
