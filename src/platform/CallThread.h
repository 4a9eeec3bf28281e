#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

// A database driver may wait for ever inside a call: a server that stopped
// answering leaves it reading its socket, whatever time limit it was given.
// So such calls run on a thread of their own, and their caller stops waiting
// within a bound. A signal handler cannot call a driver; the waiting caller
// acts on the request it noted.
namespace qsi::platform {

class CallThread {
 public:
  // What became of a call.
  struct Outcome {
    // It was cancelled for passing its limit.
    bool timedOut = false;
    // The interrupt request (interruptRequest()) it was cancelled for, or 0.
    int signal = 0;
    // It did not return within kGrace of its cancellation: it was left
    // behind, still running, and the thread was let go with it.
    bool leftBehind = false;
  };

  // The time a cancelled call has to return.
  static constexpr std::chrono::seconds kGrace{2};

  CallThread();
  // Ends the thread once its call has returned; a thread with a call left
  // behind is let go, and ends when that call returns.
  ~CallThread();
  CallThread(const CallThread&) = delete;
  CallThread& operator=(const CallThread&) = delete;

  // Runs `call` on the thread and waits for it to return. When it has not
  // returned within `limit`, or at once when an interrupt is requested,
  // `cancel` (when set) is called, once, from the waiting thread, while the
  // call runs; kGrace later the call is left behind. `call` must therefore
  // own everything it touches. What it throws is rethrown here. Once a call
  // was left behind, every later run() leaves at once, calling nothing.
  Outcome run(std::function<void()> call, const std::function<void()>& cancel,
              std::chrono::milliseconds limit);

 private:
  struct State;
  std::shared_ptr<State> state_;
  std::jthread thread_;
};

}  // namespace qsi::platform
