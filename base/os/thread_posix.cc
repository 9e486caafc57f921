#include "base/os/thread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace base::os {

// Shared with the running thread, so that a thread given up can still report its end.
struct Thread::State {
  std::thread thread;
  std::mutex mutex;
  std::condition_variable ended_signal;
  bool ended = false;
};

Thread::Thread() = default;

Thread::~Thread() {
  StopWithin(0);
}

bool Thread::Start(Main main, void* argument) {
  StopWithin(0);
  auto state = std::make_shared<State>();
  try {
    state->thread = std::thread([state_ref = state, main, argument] {
      main(argument);
      std::lock_guard lock(state_ref->mutex);
      state_ref->ended = true;
      state_ref->ended_signal.notify_all();
    });
  } catch (const std::system_error&) {
    return false;
  }
  state_ = std::move(state);
  return true;
}

bool Thread::running() const {
  return state_ != nullptr;
}

bool Thread::StopWithin(uint32_t timeout_ms) {
  if (!state_) return true;
  bool ended = false;
  {
    std::unique_lock lock(state_->mutex);
    ended = state_->ended_signal.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                          [this] { return state_->ended; });
  }
  if (ended) {
    state_->thread.join();
  } else {
    state_->thread.detach();  // abandoned: see the header
  }
  state_.reset();
  return ended;
}

}  // namespace base::os
