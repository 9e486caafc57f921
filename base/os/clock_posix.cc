#include "base/os/clock.h"

#include <time.h>

namespace base::os {
namespace {
constexpr int64_t kFileTimeAt1970 = 116444736000000000;  // 100 ns units from 1601 to 1970
}

CounterReading ReadMonotonicCounter() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return {static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec, 1000000000};
}

int64_t ReadSystemFileTime() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return kFileTimeAt1970 + static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}

bool ToLocalCalendarTime(int64_t seconds, std::tm* out) {
  const time_t t = static_cast<time_t>(seconds);
  return localtime_r(&t, out) != nullptr;
}

}  // namespace base::os
