#pragma once
// The processor time the calling thread has used: a bound on the work a piece of code does,
// which, unlike the time on the clock, does not grow when other processes share the machine.
#include <chrono>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace corvane::testing {

// How much more processor time the same work takes in this build: a build under the address
// and undefined-behaviour sanitizers is several times slower (CORVANE_TEST_SLOWDOWN in
// tests/CMakeLists.txt, for the tool scripts, says the same). Bounds on processor
// time are meant to catch work that grows out of all proportion, not a slower build.
#if defined(__has_feature)  // Clang's way to ask
#define CORVANE_TEST_HAS_FEATURE(feature) __has_feature(feature)
#else
#define CORVANE_TEST_HAS_FEATURE(feature) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || CORVANE_TEST_HAS_FEATURE(address_sanitizer)
inline constexpr int kBuildSlowdown = 10;
#else
inline constexpr int kBuildSlowdown = 1;
#endif

inline std::chrono::nanoseconds ThreadCpuTime() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return {};
  const auto ticks = [](const FILETIME& t) {  // in units of 100 ns
    return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  return std::chrono::nanoseconds((ticks(kernel) + ticks(user)) * 100);
#else
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
#endif
}

}  // namespace corvane::testing
