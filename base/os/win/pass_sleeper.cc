#include "base/os/win/pass_sleeper.h"

namespace base::win {
namespace {

// A guard only: the timer fires after the sleep it was set for.
constexpr DWORD kWaitGuardMs = 1000;

}  // namespace

PassSleeper::PassSleeper(PassSleeperCalls calls) : calls_(calls) {
  timer_.reset(calls_.create_waitable_timer(nullptr, nullptr, kCreateWaitableTimerHighResolution,
                                            TIMER_MODIFY_STATE | SYNCHRONIZE));
  if (!timer_) timer_error_ = GetLastError();
}

void PassSleeper::Sleep(uint32_t milliseconds) {
  if (timer_ && WaitOnTimer(milliseconds)) return;
  calls_.sleep(milliseconds);
}

bool PassSleeper::WaitOnTimer(uint32_t milliseconds) {
  LARGE_INTEGER due;
  due.QuadPart = -static_cast<LONGLONG>(milliseconds) * 10000;  // relative, in 100 ns units
  if (calls_.set_waitable_timer(timer_.get(), &due, 0, nullptr, nullptr, FALSE)) {
    // A wait that outlasts the guard has slept long enough too.
    if (calls_.wait_for_single_object(timer_.get(), milliseconds + kWaitGuardMs) != WAIT_FAILED) {
      return true;
    }
  }
  timer_error_ = GetLastError();
  timer_.reset();
  return false;
}

}  // namespace base::win
