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

struct ConditionVariable::State {
  CONDITION_VARIABLE variable;
};

ConditionVariable::ConditionVariable() : state_(std::make_unique<State>()) {
  InitializeConditionVariable(&state_->variable);
}

ConditionVariable::~ConditionVariable() = default;

void ConditionVariable::WaitFor(Lock& held, uint32_t milliseconds) {
  // A time-out and a failure end the sleep alike; the caller looks again either way.
  SleepConditionVariableCS(&state_->variable, &held.state_->section, milliseconds);
}

void ConditionVariable::WakeOne() {
  WakeConditionVariable(&state_->variable);
}

}  // namespace base::os
