// The main loop's sleeps: on a high-resolution waitable timer where the system makes one, with
// Sleep where it does not (Windows before 10 version 1803 refuses the flag) or where the timer
// fails. The calls are counted; the real ones do the work.
#include "base/os/win/pass_sleeper.h"

#include <gtest/gtest.h>

#include <vector>

namespace base::win {
namespace {

struct SleeperCallLog {
  std::vector<DWORD> create_flags;
  std::vector<LONGLONG> due;  // of each SetWaitableTimer
  int waits = 0;
  std::vector<DWORD> sleeps;
  bool refuse_high_resolution = false;
  bool fail_set = false;
};
SleeperCallLog g_log;

PassSleeperCalls CountingCalls() {
  g_log = {};
  PassSleeperCalls calls;
  calls.create_waitable_timer = [](LPSECURITY_ATTRIBUTES attributes, LPCWSTR name, DWORD flags,
                                   DWORD access) -> HANDLE {
    g_log.create_flags.push_back(flags);
    if (g_log.refuse_high_resolution && (flags & kCreateWaitableTimerHighResolution) != 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    return CreateWaitableTimerExW(attributes, name, flags, access);
  };
  calls.set_waitable_timer = [](HANDLE timer, const LARGE_INTEGER* due, LONG period,
                                PTIMERAPCROUTINE routine, LPVOID argument, BOOL resume) -> BOOL {
    g_log.due.push_back(due->QuadPart);
    if (g_log.fail_set) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    return SetWaitableTimer(timer, due, period, routine, argument, resume);
  };
  calls.wait_for_single_object = [](HANDLE handle, DWORD ms) -> DWORD {
    ++g_log.waits;
    return WaitForSingleObject(handle, ms);
  };
  calls.sleep = [](DWORD ms) {
    g_log.sleeps.push_back(ms);
    ::Sleep(ms);
  };
  return calls;
}

TEST(PassSleeperWinTest, WaitsOnAHighResolutionTimerWhereTheSystemMakesOne) {
  PassSleeper sleeper(CountingCalls());
  EXPECT_EQ(g_log.create_flags, std::vector<DWORD>{kCreateWaitableTimerHighResolution});
  ASSERT_TRUE(sleeper.high_resolution());
  EXPECT_EQ(sleeper.timer_error(), 0u);
  sleeper.Sleep(8);
  sleeper.Sleep(100);
  // Relative due times in 100 ns units; each one waited on, and Sleep never called.
  EXPECT_EQ(g_log.due, (std::vector<LONGLONG>{-80000, -1000000}));
  EXPECT_EQ(g_log.waits, 2);
  EXPECT_TRUE(g_log.sleeps.empty());
}

TEST(PassSleeperWinTest, SleepStandsInWithoutATimerOrAfterItFails) {
  // A system that refuses the high-resolution flag.
  {
    PassSleeperCalls calls = CountingCalls();
    g_log.refuse_high_resolution = true;
    PassSleeper sleeper(calls);
    EXPECT_FALSE(sleeper.high_resolution());
    EXPECT_EQ(sleeper.timer_error(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    sleeper.Sleep(8);
    sleeper.Sleep(200);
    EXPECT_EQ(g_log.sleeps, (std::vector<DWORD>{8, 200}));
    EXPECT_TRUE(g_log.due.empty());
    EXPECT_EQ(g_log.waits, 0);
  }
  // A timer that fails: that sleep and every later one with Sleep, and the timer given up.
  {
    PassSleeperCalls calls = CountingCalls();
    g_log.fail_set = true;
    PassSleeper sleeper(calls);
    ASSERT_TRUE(sleeper.high_resolution());
    sleeper.Sleep(8);
    EXPECT_FALSE(sleeper.high_resolution());
    EXPECT_EQ(sleeper.timer_error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    sleeper.Sleep(8);
    EXPECT_EQ(g_log.due.size(), 1u);
    EXPECT_EQ(g_log.sleeps, (std::vector<DWORD>{8, 8}));
  }
}

}  // namespace
}  // namespace base::win
