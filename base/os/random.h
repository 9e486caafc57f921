#pragma once
// The system's cryptographic random source: getrandom on Linux, CryptGenRandom on Windows.
#include <cstddef>

namespace base::os {

// Fills `size` bytes at `buffer`; false when the source could not deliver all of them.
bool FillSystemRandom(void* buffer, size_t size);

}  // namespace base::os
