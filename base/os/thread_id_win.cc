#include "base/os/thread_id.h"

#include "base/os/win/windows_types.h"

namespace base::os {

uint32_t CurrentThreadId() {
  return GetCurrentThreadId();
}

uint32_t CurrentProcessId() {
  return GetCurrentProcessId();
}

}  // namespace base::os
