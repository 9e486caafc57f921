#pragma once
// A lock for the logger's short critical sections: a thread that finds it taken spins a while
// before it sleeps, since the holder lets go within a fraction of a microsecond and a sleep and
// wake-up are system calls (under Wine, calls to the Wine server). On Windows a critical section
// with a spin count of 4000; elsewhere an adaptive mutex where the C library has one.
// Meets BasicLockable, for std::lock_guard.
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
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace base::os
