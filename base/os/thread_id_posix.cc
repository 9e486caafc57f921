#include "base/os/thread_id.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace base::os {

uint32_t CurrentThreadId() {
  // The system call costs more than the rest of a log record's time stamp and head: kept per
  // thread, in plain data (no destructor to run at thread exit).
  thread_local uint32_t id = 0;
  if (id == 0) id = static_cast<uint32_t>(syscall(SYS_gettid));
  return id;
}

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(getpid());
}

}  // namespace base::os
