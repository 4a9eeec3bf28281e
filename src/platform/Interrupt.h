#pragma once

#include "platform/Failure.h"

// Ctrl-C, SIGTERM and the closing of the console window must not leave the
// site half installed with its services stopped. The handlers only note the
// request; the run notices it at its next safe point and leaves through the
// same way as any failure, which starts the stopped services again.
namespace qsi::platform {

inline constexpr long kInterrupted = 1050;

// The run was told to end.
class Interrupted : public Failure, public EndsTheRun {
 public:
  explicit Interrupted(int signal);
  [[nodiscard]] int signal() const noexcept { return signal_; }

 private:
  int signal_;
};

// Installs the handlers of SIGINT and SIGTERM; on Windows, of the console's
// Ctrl-C, Ctrl-Break and close events (the close event waits, within the
// time Windows grants, for interruptHandled()).
void installInterruptHandlers();

// The signal of the request noted (SIGINT or SIGTERM), or 0; always 0 while
// an InterruptShield lives.
[[nodiscard]] int interruptRequest() noexcept;

// True when the program was told to end from outside (SIGTERM, the console
// closed): nobody is there to answer a message box.
[[nodiscard]] bool nobodyToAnswer() noexcept;

// Throws Interrupted when a request is noted and no InterruptShield lives.
void throwIfInterrupted();

// Notes a request as a handler does (the handlers, and tests).
void requestInterrupt(int signal) noexcept;
// Forgets a noted request: the run it ended has left, and what the
// administrator asks for next (an undo) may be stopped by a new one; tests.
void clearInterruptRequest() noexcept;
// The way out is done: a waiting close event may let the process end.
void interruptHandled() noexcept;

// While it lives, a request does not interrupt: the way out of a run, which
// starts the stopped services again, runs to its end.
class InterruptShield {
 public:
  InterruptShield() noexcept;
  ~InterruptShield();
  InterruptShield(const InterruptShield&) = delete;
  InterruptShield& operator=(const InterruptShield&) = delete;
};

}  // namespace qsi::platform
