#include <algorithm>
#include <array>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
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
#ifdef QSI_QT_MODULE
#include <dlfcn.h>
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

// The command line: --help and the parsing both read this table, so that an
// option added here is accepted and shown at once. An argument in brackets
// may be left out.
struct Option {
  std::string_view name;
  std::string_view argument;
  std::string_view help;
};
constexpr std::array kOptions{
    Option{"--undo", "[RUN]",
           "undo the last run that changed the site, or the run named (its folder below QOLog)"},
    Option{"--help", "", "print this help and exit"},
    Option{"--version", "", "print the version and exit"},
};
constexpr std::array<std::pair<int, std::string_view>, 4> kExitStatuses{{
    {0, "the installation completed (--undo: the run is undone)"},
    {1, "a failure ended the program (--undo: undone in part, or failed)"},
    {2,
     "the user or a check ended it, or another installer holds the site (--undo: nothing "
     "to undo)"},
    {3, "the installation completed, but files or component registrations failed"},
}};
constexpr std::string_view kUsage = "usage: qsolutioninstaller [OPTION]...";

void printHelp(std::ostream& out) {
  out << kUsage << "\nInstalls the solution package in the folder Solution beside the program.\n\n"
      << "Options:\n";
  for (const Option& option : kOptions) {
    std::string names(option.name);
    if (!option.argument.empty()) names += " " + std::string(option.argument);
    names.resize(std::max<std::size_t>(names.size() + 2, 16), ' ');
    out << "  " << names << option.help << '\n';
  }
  out << "\nExit status:\n";
  for (const auto& [status, meaning] : kExitStatuses)
    out << "  " << status << "  " << meaning << '\n';
}

// The options given, each with its argument when it has one; nothing (after
// telling `err` why) when the command line holds anything the table does not.
using GivenOptions = std::map<std::string_view, std::optional<std::string>>;
std::optional<GivenOptions> parseOptions(std::span<const std::string> args, std::ostream& err) {
  GivenOptions given;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const std::size_t equals = arg.find('=');
    const auto option = std::ranges::find(kOptions, arg.substr(0, equals), &Option::name);
    std::string problem;
    std::optional<std::string> value;
    if (option == kOptions.end()) {
      problem = "unknown option '" + std::string(arg) + "'";
    } else if (given.contains(option->name)) {
      problem = "option '" + std::string(option->name) + "' given twice";
    } else if (equals != std::string_view::npos) {
      if (option->argument.empty())
        problem = "option '" + std::string(option->name) + "' takes no argument";
      value = std::string(arg.substr(equals + 1));
    } else if (!option->argument.empty()) {
      const bool optional = option->argument.starts_with('[');
      if (i + 1 < args.size() && !(optional && args[i + 1].starts_with("--")))
        value = args[++i];
      else if (!optional)
        problem =
            "option '" + std::string(option->name) + "' needs " + std::string(option->argument);
    }
    if (!problem.empty()) {
      err << "qsolutioninstaller: " << problem << '\n' << kUsage << '\n';
      return std::nullopt;
    }
    given.emplace(option->name, std::move(value));
  }
  return given;
}

#ifdef QSI_QT_MODULE
// The Qt window is a module of its own, so that the program needs no
// graphical library where nobody installed the window. It is found through
// the program's library path: the build folder, or the installed module
// folder. Nothing when it cannot be loaded (said when the window was asked for).
std::optional<int> runQtModule(int argc, char** argv, qsi::control::Services services) {
  // dlopen searches the library path of its caller; the sanitizers wrap
  // dlopen, so that their wrapper's path would be searched. dlmopen into the
  // first namespace is dlopen, called from here.
  void* const module = ::dlmopen(LM_ID_BASE, QSI_QT_MODULE, RTLD_NOW | RTLD_LOCAL);
  using Entry = int(int, char**, qsi::control::Services*);
  auto* const entry =
      module != nullptr ? reinterpret_cast<Entry*>(::dlsym(module, "qsiRunQt")) : nullptr;
  if (entry == nullptr) {
    const char* choice = std::getenv("QSI_FRONTEND");
    if (choice != nullptr && std::string_view(choice) == "qt")
      std::cerr << "The Qt window cannot be loaded (" << ::dlerror()
                << "); using the console. It comes with the package qsolution-installer-gui.\n";
    return std::nullopt;
  }
  return entry(argc, argv, &services);
}
#endif

int runInstaller(int argc, char** argv) {
  using namespace qsi;
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  const auto given = parseOptions(args, std::cerr);
  if (!given) return platform::EndProgram::kStopped;
  if (given->contains("--help")) {
    printHelp(std::cout);
    return 0;
  }
  if (given->contains("--version")) {
    std::cout << "qsolutioninstaller " << QSI_VERSION << '\n';
    return 0;
  }
  const auto undo = given->find("--undo");
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
    if (undo != given->end()) return control::runUndoCommand(services, undo->second, std::cout);
#if defined(QSI_HAVE_WIN32_UI)
    (void)argc;
    (void)argv;
    if (useWindow()) return ui::win32::runWin32(services);
#elif defined(QSI_QT_MODULE)
    if (useWindow())
      if (const auto status = runQtModule(argc, argv, services)) return *status;
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
