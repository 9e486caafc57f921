#pragma once
#include <cstdint>

namespace base::os {

// The operating system's id of the calling thread.
uint32_t CurrentThreadId();

}  // namespace base::os
