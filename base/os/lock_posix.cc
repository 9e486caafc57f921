#include "base/os/lock.h"

#include <pthread.h>
#include <time.h>

namespace base::os {

struct Lock::State {
  pthread_mutex_t mutex;
};

Lock::Lock() : state_(std::make_unique<State>()) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
#if defined(PTHREAD_ADAPTIVE_MUTEX_INITIALIZER_NP)
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ADAPTIVE_NP);
#endif
  pthread_mutex_init(&state_->mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

Lock::~Lock() {
  pthread_mutex_destroy(&state_->mutex);
}

void Lock::lock() {
  pthread_mutex_lock(&state_->mutex);
}

void Lock::unlock() {
  pthread_mutex_unlock(&state_->mutex);
}

struct ConditionVariable::State {
  pthread_cond_t condition;
};

ConditionVariable::ConditionVariable() : state_(std::make_unique<State>()) {
  pthread_condattr_t attributes;
  pthread_condattr_init(&attributes);
  // Deadlines on the monotonic clock: a change of the wall clock neither ends a sleep early
  // nor makes it longer.
  pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
  pthread_cond_init(&state_->condition, &attributes);
  pthread_condattr_destroy(&attributes);
}

ConditionVariable::~ConditionVariable() {
  pthread_cond_destroy(&state_->condition);
}

void ConditionVariable::WaitFor(Lock& held, uint32_t milliseconds) {
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += milliseconds / 1000;
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
  if (deadline.tv_nsec >= 1000000000) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000;
  }
  pthread_cond_timedwait(&state_->condition, &held.state_->mutex, &deadline);
}

void ConditionVariable::WakeOne() {
  pthread_cond_signal(&state_->condition);
}

}  // namespace base::os
