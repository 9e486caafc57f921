#include "base/os/lock.h"

#include <pthread.h>

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

}  // namespace base::os
