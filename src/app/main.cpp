#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "actions/ActionServices.h"
#include "control/Main.h"
#include "control/Unattended.h"
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
    Option{"--unattended", "", "run the whole flow with no window and no question"},
    Option{"--answers", "FILE", "the answers to the flow's questions (JSON; with --unattended)"},
    Option{"--result", "FILE", "write the run's result as JSON to FILE (with --unattended)"},
    Option{"--plan-only", "", "stop after the plan; change nothing (with --unattended)"},
    Option{"--on-failure", "undo|keep",
           "after a failed run undo its changes (default) or keep them"},
    Option{"--lock-wait", "SECONDS", "wait so long for another installer that holds the site"},
    Option{"--part", "web|db|all", "run only the web server part, only the database part, or both"},
    Option{"--package", "DIR", "the package folder (named Solution; default: beside the program)"},
    Option{"--password-stdin", "", "read the SA password from the first line of standard input"},
    Option{"--password-fd", "N", "read the SA password from the open file descriptor N"},
    Option{"--password-file", "PATH", "read the SA password from a file only its owner can read"},
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

// The options only an unattended run takes.
constexpr std::array kUnattendedOnly{"--answers",        "--result",      "--plan-only",
                                     "--on-failure",     "--lock-wait",   "--part",
                                     "--password-stdin", "--password-fd", "--password-file"};

// The unattended run asked for, or why its options are refused.
struct UnattendedOptions {
  qsi::control::UnattendedRequest request;
  std::string problem;
};

UnattendedOptions readUnattendedOptions(const GivenOptions& given, std::string program) {
  using qsi::control::Part;
  using qsi::control::PasswordSource;
  UnattendedOptions read;
  qsi::control::UnattendedRequest& request = read.request;
  request.program = std::move(program);
  request.version = QSI_VERSION;
#ifndef _WIN32
  request.registryFile = qsi::platform::RegFileRegistry::defaultPath().string();
#endif
  const auto value = [&](std::string_view name) -> std::optional<std::string> {
    const auto found = given.find(name);
    return found == given.end() ? std::nullopt : found->second;
  };
  if (const auto file = value("--result")) request.resultFile = *file;
  if (const auto part = value("--part")) {
    if (*part == "web" || *part == "db" || *part == "all")
      request.settings.part = *part == "web" ? Part::web : *part == "db" ? Part::db : Part::all;
    else
      read.problem = "--part takes web, db or all, not '" + *part + "'";
  }
  for (std::string_view name : kUnattendedOnly)
    if (given.contains(name) && !given.contains("--unattended"))
      read.problem = "option '" + std::string(name) + "' needs --unattended";
  request.settings.planOnly = given.contains("--plan-only");
  if (const auto answers = value("--answers")) request.answersFile = *answers;
  if (const auto choice = value("--on-failure")) {
    if (*choice == "undo" || *choice == "keep")
      request.undoOnFailure = *choice == "undo";
    else
      read.problem = "--on-failure takes undo or keep, not '" + *choice + "'";
  }
  const auto number = [&](std::string_view name, int most) -> std::optional<int> {
    const auto text = value(name);
    if (!text) return std::nullopt;
    int parsed = -1;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), parsed);
    if (ec != std::errc() || end != text->data() + text->size() || parsed < 0 || parsed > most) {
      read.problem = std::string(name) + " takes a number from 0 to " + std::to_string(most) +
                     ", not '" + *text + "'";
      return std::nullopt;
    }
    return parsed;
  };
  if (const auto seconds = number("--lock-wait", 86400))
    request.settings.lockWait = std::chrono::seconds(*seconds);
  int sources = 0;
  if (given.contains("--password-stdin")) {
    request.password.kind = PasswordSource::Kind::standardInput;
    ++sources;
  }
  if (const auto fd = number("--password-fd", 1 << 20)) {
    request.password = {PasswordSource::Kind::descriptor, *fd, {}};
    ++sources;
  }
  if (const auto file = value("--password-file")) {
    request.password = {PasswordSource::Kind::file, -1, *file};
    ++sources;
  }
  if (sources > 1) read.problem = "give the password one way only";
  return read;
}

// A password on the command line is seen by every user of the machine.
bool refusesPasswordArgument(std::span<const std::string> args, std::ostream& err) {
  for (const std::string& arg : args) {
    if (arg != "--password" && !arg.starts_with("--password=")) continue;
    err << "qsolutioninstaller: --password is refused: a command line is visible to every user "
           "of the machine and is kept in shell histories; use --password-stdin, --password-fd N "
           "or --password-file PATH\n";
    return true;
  }
  return false;
}

// The result file the command line names, read plainly: a command line
// that is refused still gets its result written.
std::optional<std::string> resultFileOf(std::span<const std::string> args) {
  if (std::ranges::find(args, "--unattended") == args.end()) return std::nullopt;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i].starts_with("--result=")) return args[i].substr(9);
    if (args[i] == "--result" && i + 1 < args.size()) return args[i + 1];
  }
  return std::nullopt;
}

std::string programPath(const char* argv0) {
  std::error_code ec;
#ifndef _WIN32
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) return self.string();
#endif
  return argv0 != nullptr ? std::filesystem::absolute(argv0, ec).string() : "qsolutioninstaller";
}

int refuseOptions(std::span<const std::string> args, const std::string& program,
                  const std::string& why) {
  const auto file = resultFileOf(args);
  if (!file) return qsi::platform::EndProgram::kStopped;
  GivenOptions none;
  auto read = readUnattendedOptions(none, program);
  read.request.resultFile = *file;
  const bool planOnly = std::ranges::find(args, "--plan-only") != args.end();
  const bool undo = std::ranges::find_if(args, [](const std::string& a) {
                      return a == "--undo" || a.starts_with("--undo=");
                    }) != args.end();
  const qsi::control::ResultStart start{std::chrono::system_clock::now(),
                                        undo       ? "undo"
                                        : planOnly ? "plan"
                                                   : "install",
                                        qsi::control::Part::all};
  qsi::control::writeResult(*file, qsi::control::refusalResult(read.request, start, "options", why),
                            std::cerr);
  return qsi::platform::EndProgram::kStopped;
}

int runInstaller(int argc, char** argv) {
  using namespace qsi;
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  const std::string program = programPath(argc > 0 ? argv[0] : nullptr);
  if (refusesPasswordArgument(args, std::cerr))
    return refuseOptions(args, program,
                         "--password is refused: use --password-stdin, "
                         "--password-fd N or --password-file PATH");
  std::ostringstream parseErrors;
  const auto given = parseOptions(args, parseErrors);
  if (!given) {
    std::cerr << parseErrors.str();
    const std::string text = parseErrors.str();
    return refuseOptions(args, program, text.substr(0, text.find('\n')));
  }
  if (given->contains("--help")) {
    printHelp(std::cout);
    return 0;
  }
  if (given->contains("--version")) {
    std::cout << "qsolutioninstaller " << QSI_VERSION << '\n';
    return 0;
  }
  const auto undo = given->find("--undo");
  const bool unattended = given->contains("--unattended");
  auto read = readUnattendedOptions(*given, program);
  if (!read.problem.empty()) {
    std::cerr << "qsolutioninstaller: " << read.problem << '\n';
    return refuseOptions(args, program, read.problem);
  }
  if (const auto package = given->find("--package"); package != given->end()) {
    if (!package->second || std::filesystem::path(*package->second).filename() != "Solution") {
      read.problem = "--package names the package's folder Solution";
      std::cerr << "qsolutioninstaller: " << read.problem << '\n';
      return refuseOptions(args, program, read.problem);
    }
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
    const auto package = given->find("--package");
    control::Services services{
        registry, profiles, clock,
        package != given->end()
            ? std::filesystem::absolute(std::filesystem::path(*package->second)).parent_path()
            : platform::installerFolder(),
        actions.services()};
    if (undo != given->end() && unattended) {
      const control::ResultStart start{std::chrono::system_clock::now(), "undo",
                                       control::Part::all};
      std::ostringstream told;
      control::UndoReport report;
      const int status = control::runUndoCommand(services, undo->second, told, nullptr, &report);
      std::cout << told.str();
      const auto result = control::undoResult(read.request, start, status, told.str(), report.run,
                                              report.heldBy, report.conflicts, report.refused);
      if (read.request.resultFile)
        control::writeResult(*read.request.resultFile, result, std::cerr);
      return static_cast<int>(result.find("exit_status")->integer());
    }
    if (undo != given->end())
      return control::runUndoCommand(services, undo->second, std::cout, &std::cin);
    if (unattended) return control::runUnattended(services, read.request, std::cout);
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
