#include <algorithm>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/ActionServices.h"
#include "control/Main.h"
#include "control/UndoCommand.h"
#include "platform/Clock.h"
#include "platform/Failure.h"
#include "platform/Interrupt.h"
#include "platform/Paths.h"
#include "platform/ProfileReader.h"
#include "platform/RegFileRegistry.h"
#include "ui/console/ConsoleView.h"
#ifdef QSI_HAVE_QT
#include "ui/qt/QtFrontEnd.h"
#endif
#ifdef QSI_HAVE_WIN32_UI
#include "ui/win32/Win32FrontEnd.h"
#endif

namespace {

// The window front-end when a display is there, else the console;
// QSI_FRONTEND=console|qt|win32 overrides the choice.
bool useWindow() {
  const char* choice = std::getenv("QSI_FRONTEND");
  if (choice != nullptr && *choice != '\0') return std::string_view(choice) != "console";
#ifdef _WIN32
  return true;  // Windows always has its desktop
#else
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (display != nullptr && *display != '\0') || (wayland != nullptr && *wayland != '\0');
#endif
}

int runInstaller(int argc, char** argv) {
  using namespace qsi;
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  const bool undo = !args.empty() && args.front() == "--undo";
  if (!args.empty() && (!undo || args.size() > 2)) {
    std::cerr << "usage: qsolutioninstaller [--undo [RUN]]\n"
                 "  --undo [RUN]  undo the last run that changed the site, or the run named\n"
                 "                (its folder name below QOLog)\n";
    return platform::EndProgram::kStopped;
  }
  try {
#ifdef _WIN32
    platform::Win32Registry registry;
#else
    platform::RegFileRegistry registry(platform::RegFileRegistry::defaultPath());
#endif
    platform::ProfileReader profiles;
    const platform::SystemClock clock;
    actions::NativeActionServices actions(registry);
    control::Services services{registry, profiles, clock, platform::installerFolder(),
                               actions.services()};
    if (undo)
      return control::runUndoCommand(
          services, args.size() == 2 ? std::optional(args[1]) : std::nullopt, std::cout);
#if defined(QSI_HAVE_WIN32_UI)
    (void)argc;
    (void)argv;
    if (useWindow()) return ui::win32::runWin32(services);
#elif defined(QSI_HAVE_QT)
    if (useWindow()) return ui::qt::runQt(argc, argv, services);
#else
    (void)argc;
    (void)argv;
    if (useWindow() && std::getenv("QSI_FRONTEND") != nullptr)
      std::cerr << "This build has no window front-end; using the console.\n";
#endif
    return ui::console::runConsole(services);
  } catch (const std::exception& e) {
    std::cerr << "qsolutioninstaller: " << e.what() << '\n';
    return platform::EndProgram::kFailed;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Ctrl-C, SIGTERM and a closed console are noted, never acted on at once:
  // the run leaves through its failure path and starts the services again.
  qsi::platform::installInterruptHandlers();
  const int status = runInstaller(argc, argv);
  qsi::platform::interruptHandled();
  return status;
}
