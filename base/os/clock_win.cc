#include "base/os/clock.h"

#include "base/os/win/windows_types.h"

namespace base::os {

CounterReading ReadMonotonicCounter() {
  LARGE_INTEGER counter{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return {counter.QuadPart, frequency.QuadPart > 0 ? frequency.QuadPart : 1};
}

int64_t ReadSystemFileTime() {
  FILETIME ft{};
  GetSystemTimeAsFileTime(&ft);
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

bool ToLocalCalendarTime(int64_t seconds, std::tm* out) {
  const __time64_t t = seconds;
  return _localtime64_s(out, &t) == 0;
}

}  // namespace base::os
