#include "base/os/clock.h"

#include "base/os/win/windows_types.h"

namespace base::os {

CounterReading ReadMonotonicCounter() {
  // The frequency is fixed at system start: asked once.
  static const int64_t frequency = [] {
    LARGE_INTEGER value{};
    QueryPerformanceFrequency(&value);
    return value.QuadPart > 0 ? value.QuadPart : 1;
  }();
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  return {counter.QuadPart, frequency};
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
