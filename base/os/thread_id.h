#pragma once
#include <cstdint>

namespace base::os {

// The operating system's id of the calling thread.
uint32_t CurrentThreadId();

// The operating system's id of the calling process.
uint32_t CurrentProcessId();

}  // namespace base::os
