#include "platform/Interrupt.h"

#include <atomic>
#include <csignal>
#include <string>

#ifdef _WIN32
#include "platform/win32/WindowsApi.h"
#endif

namespace qsi::platform {

namespace {

// A signal handler can reach nothing but a flag of its own: the request and
// the shield's depth are the only state of the process that is not passed
// down. Lock-free atomics are safe to touch from a handler.
std::atomic<int> request{0};
std::atomic<int> shieldDepth{0};

#ifdef _WIN32
// Set once the way out is done; a close event waits for it.
HANDLE handledEvent() {
  static const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return event;
}

BOOL WINAPI onConsoleEvent(DWORD event) {
  const bool closing =
      event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
  requestInterrupt(closing ? SIGTERM : SIGINT);
  // Returning from a close event ends the process: first let the run start
  // its services again, within the seconds Windows grants.
  if (closing) WaitForSingleObject(handledEvent(), 20'000);
  return TRUE;
}
#else
void onSignal(int signal) {
  requestInterrupt(signal);
}
#endif

std::string describe(int signal) {
  return signal == SIGINT
             ? "The installation was interrupted (Ctrl-C)."
             : "The installer was told to end (signal " + std::to_string(signal) + ").";
}

}  // namespace

Interrupted::Interrupted(int signal)
    : Failure(kInterrupted, "QSolutionInstaller", describe(signal)), signal_(signal) {}

void installInterruptHandlers() {
#ifdef _WIN32
  (void)handledEvent();
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
  // Without SA_RESTART: a read of the console's answer returns at once.
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A file over the size limit then fails its write, and the run ends the
  // way every failure does (services started again), instead of dying.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

int interruptRequest() noexcept {
  return shieldDepth.load() > 0 ? 0 : request.load();
}

bool nobodyToAnswer() noexcept {
  return request.load() != 0 && request.load() != SIGINT;
}

void throwIfInterrupted() {
  if (const int signal = interruptRequest(); signal != 0) throw Interrupted(signal);
}

void requestInterrupt(int signal) noexcept {
  request.store(signal);
}

void clearInterruptRequest() noexcept {
  request.store(0);
}

void interruptHandled() noexcept {
#ifdef _WIN32
  SetEvent(handledEvent());
#endif
}

InterruptShield::InterruptShield() noexcept {
  ++shieldDepth;
}

InterruptShield::~InterruptShield() {
  --shieldDepth;
}

}  // namespace qsi::platform
