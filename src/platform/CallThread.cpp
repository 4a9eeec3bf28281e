#include "platform/CallThread.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>

#include "platform/Interrupt.h"

namespace qsi::platform {

// Shared with the thread, which keeps it when it is let go. The thread is
// told to end by a flag of its own, not by its stop token: a stop callback
// waits on an atomic, which can miss its wake-up where there is no futex
// (mingw), and the join then never returns.
struct CallThread::State {
  std::mutex mutex;
  std::condition_variable changed;
  std::function<void()> call;  // the call to run; empty once taken
  bool returned = false;
  std::exception_ptr thrown;
  bool leftBehind = false;
  bool ending = false;
};

CallThread::CallThread() : state_(std::make_shared<State>()) {
  thread_ = std::jthread([state = state_] {
    std::unique_lock lock(state->mutex);
    for (;;) {
      state->changed.wait(lock, [&] { return state->call || state->ending; });
      if (!state->call) return;
      std::function<void()> call = std::move(state->call);
      state->call = nullptr;
      lock.unlock();
      std::exception_ptr thrown;
      try {
        call();
      } catch (...) {
        thrown = std::current_exception();
      }
      call = nullptr;  // what it held goes here, where it was used
      lock.lock();
      state->thrown = thrown;
      state->returned = true;
      state->changed.notify_all();
    }
  });
}

CallThread::~CallThread() {
  bool leftBehind = false;
  {
    const std::scoped_lock lock(state_->mutex);
    state_->ending = true;
    leftBehind = state_->leftBehind;
  }
  state_->changed.notify_all();
  if (leftBehind) thread_.detach();  // else joined: the thread is idle, and ends at once
}

CallThread::Outcome CallThread::run(std::function<void()> call, const std::function<void()>& cancel,
                                    std::chrono::milliseconds limit) {
  // Often enough that an interrupt is acted on at once, to a person.
  constexpr std::chrono::milliseconds kLook{100};
  using Clock = std::chrono::steady_clock;
  std::unique_lock lock(state_->mutex);
  Outcome outcome;
  if (state_->leftBehind) {
    outcome.leftBehind = true;
    return outcome;
  }
  state_->call = std::move(call);
  state_->returned = false;
  state_->thrown = nullptr;
  state_->changed.notify_all();
  const auto cancelAt = Clock::now() + limit;
  std::optional<Clock::time_point> leaveAt;
  while (!state_->changed.wait_for(lock, kLook, [&] { return state_->returned; })) {
    const auto now = Clock::now();
    if (leaveAt) {
      if (now < *leaveAt) continue;
      state_->leftBehind = outcome.leftBehind = true;
      return outcome;
    }
    outcome.signal = interruptRequest();
    if (outcome.signal == 0 && now < cancelAt) continue;
    outcome.timedOut = outcome.signal == 0;
    leaveAt = now + kGrace;
    if (cancel) {
      lock.unlock();  // the call may return meanwhile, and says so
      cancel();
      lock.lock();
    }
  }
  if (state_->thrown) std::rethrow_exception(state_->thrown);
  return outcome;
}

}  // namespace qsi::platform
