#include "base/os/semaphore.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace base::os {

struct Semaphore::State {
  std::mutex mutex;
  std::condition_variable available;
  int32_t count = 0;
  int32_t maximum = 0;
};

Semaphore::Semaphore(int32_t initial, int32_t maximum) : state_(std::make_unique<State>()) {
  state_->count = initial;
  state_->maximum = maximum;
}

Semaphore::~Semaphore() = default;

bool Semaphore::Release() {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->count >= state_->maximum) return false;
    ++state_->count;
  }
  state_->available.notify_one();
  return true;
}

bool Semaphore::Wait() {
  std::unique_lock lock(state_->mutex);
  state_->available.wait(lock, [this] { return state_->count > 0; });
  --state_->count;
  return true;
}

Semaphore::WaitResult Semaphore::WaitFor(uint32_t milliseconds) {
  std::unique_lock lock(state_->mutex);
  if (!state_->available.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                  [this] { return state_->count > 0; })) {
    return WaitResult::kTimedOut;
  }
  --state_->count;
  return WaitResult::kTaken;
}

bool Semaphore::TryWait() {
  std::lock_guard lock(state_->mutex);
  if (state_->count == 0) return false;
  --state_->count;
  return true;
}

}  // namespace base::os
