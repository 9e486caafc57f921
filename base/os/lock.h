#pragma once
// A lock for the logger's short critical sections: a thread that finds it taken spins a while
// before it sleeps, since the holder lets go within a fraction of a microsecond and a sleep and
// wake-up are system calls (under Wine, calls to the Wine server). On Windows a critical section
// with a spin count of 4000; elsewhere an adaptive mutex where the C library has one.
// Meets BasicLockable, for std::lock_guard.
#include <cstdint>
#include <memory>

namespace base::os {

class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void lock();
  void unlock();

 private:
  friend class ConditionVariable;
  struct State;
  std::unique_ptr<State> state_;
};

// Lets a thread that holds a Lock sleep until another thread wakes it. Waiting and waking stay
// in the process (a futex natively and under Wine; a kernel semaphore would cost a call to the
// Wine server each way, tens of microseconds). On Windows a condition variable, natively a
// POSIX one on the monotonic clock.
class ConditionVariable {
 public:
  ConditionVariable();
  ~ConditionVariable();
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  // Lets go of `held`, which the caller holds, sleeps until woken or until `milliseconds`
  // have passed (or, rarely, for no reason), and takes `held` again. The caller checks what it
  // waits for, under the lock, before and after.
  void WaitFor(Lock& held, uint32_t milliseconds);
  // Wakes one sleeping thread, if there is one. Needs no lock.
  void WakeOne();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace base::os
