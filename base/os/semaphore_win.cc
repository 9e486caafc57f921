#include "base/os/semaphore.h"

#include "base/os/win/scoped_resource.h"

namespace base::os {

struct Semaphore::State {
  win::ScopedHandle handle;
};

Semaphore::Semaphore(int32_t initial, int32_t maximum) : state_(std::make_unique<State>()) {
  state_->handle.reset(CreateSemaphoreW(nullptr, initial, maximum, nullptr));
}

Semaphore::~Semaphore() = default;

bool Semaphore::Release() {
  return state_->handle.valid() && ReleaseSemaphore(state_->handle.get(), 1, nullptr) != 0;
}

bool Semaphore::Wait() {
  return state_->handle.valid() &&
         WaitForSingleObject(state_->handle.get(), INFINITE) == WAIT_OBJECT_0;
}

Semaphore::WaitResult Semaphore::WaitFor(uint32_t milliseconds) {
  if (!state_->handle.valid()) return WaitResult::kFailed;
  switch (WaitForSingleObject(state_->handle.get(), milliseconds)) {
    case WAIT_OBJECT_0:
      return WaitResult::kTaken;
    case WAIT_TIMEOUT:
      return WaitResult::kTimedOut;
    default:
      return WaitResult::kFailed;
  }
}

bool Semaphore::TryWait() {
  return state_->handle.valid() && WaitForSingleObject(state_->handle.get(), 0) == WAIT_OBJECT_0;
}

}  // namespace base::os
