#pragma once
// Short sleeps that last about as long as asked. Sleep(8) lasts until a tick of the system
// timer, about 15.6 ms at Windows' default resolution, which would hold the overlay's 8 ms
// passes to some 64 a second. A high-resolution waitable timer (Windows 10 version 1803 and
// later) does not depend on that resolution; where one cannot be made, or fails, Sleep stands
// in. The system timer resolution is never changed: that would hold for the whole machine and
// cost every program power.
#include <cstdint>

#include "base/os/win/scoped_resource.h"

namespace base::win {

// Not in MinGW's headers: Windows 10 version 1803 and later; earlier versions refuse the flag
// with ERROR_INVALID_PARAMETER.
inline constexpr DWORD kCreateWaitableTimerHighResolution = 0x00000002;

// The calls a sleep makes, replaceable so that tests can make them fail and count them.
struct PassSleeperCalls {
  decltype(&::CreateWaitableTimerExW) create_waitable_timer = &::CreateWaitableTimerExW;
  decltype(&::SetWaitableTimer) set_waitable_timer = &::SetWaitableTimer;
  decltype(&::WaitForSingleObject) wait_for_single_object = &::WaitForSingleObject;
  decltype(&::Sleep) sleep = &::Sleep;
};

class PassSleeper {
 public:
  // Makes the high-resolution timer, when the system offers one.
  explicit PassSleeper(PassSleeperCalls calls = {});

  // Waits `milliseconds` on the timer, or with Sleep when there is none. A timer that fails is
  // given up for good, and Sleep stands in from then on.
  void Sleep(uint32_t milliseconds);

  bool high_resolution() const { return timer_.valid(); }
  // The error of the call that left the sleeper without a timer; 0 while it has one.
  DWORD timer_error() const { return timer_error_; }

 private:
  bool WaitOnTimer(uint32_t milliseconds);

  PassSleeperCalls calls_;
  ScopedHandle timer_;
  DWORD timer_error_ = 0;
};

}  // namespace base::win
