#pragma once
// A counting semaphore with a maximum count: a release at the maximum is refused.
#include <cstdint>
#include <memory>

namespace base::os {

class Semaphore {
 public:
  Semaphore(int32_t initial, int32_t maximum);
  ~Semaphore();
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  // Adds one to the count; false (and no change) when it stands at the maximum already.
  bool Release();
  // Takes one, waiting as long as it takes. False when the wait itself fails.
  bool Wait();
  // Takes one when the count is above zero, without waiting.
  bool TryWait();
  // Takes one, waiting at most `milliseconds` for it.
  enum class WaitResult { kTaken, kTimedOut, kFailed };
  WaitResult WaitFor(uint32_t milliseconds);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace base::os
