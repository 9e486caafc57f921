#include "base/os/lock.h"

#include <windows.h>

namespace base::os {

struct Lock::State {
  CRITICAL_SECTION section;
};

Lock::Lock() : state_(std::make_unique<State>()) {
  InitializeCriticalSectionAndSpinCount(&state_->section, 4000);
}

Lock::~Lock() {
  DeleteCriticalSection(&state_->section);
}

void Lock::lock() {
  EnterCriticalSection(&state_->section);
}

void Lock::unlock() {
  LeaveCriticalSection(&state_->section);
}

}  // namespace base::os
