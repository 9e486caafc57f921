#pragma once
// Clocks the logger reads: the monotonic high-resolution counter and the wall clock.
#include <cstdint>
#include <ctime>

namespace base::os {

struct CounterReading {
  int64_t counter = 0;
  int64_t frequency = 1;  // counts per second
};

// The monotonic high-resolution counter (QueryPerformanceCounter on Windows).
CounterReading ReadMonotonicCounter();

// The wall clock as a file time: 100 ns units since 1601-01-01 UTC.
int64_t ReadSystemFileTime();

// Local calendar time of `seconds` since 1970-01-01 UTC; false when it cannot be converted.
bool ToLocalCalendarTime(int64_t seconds, std::tm* out);

}  // namespace base::os
