// The OS services the logger builds on: the lock's sleep and wake-up, the thread's time limit,
// directory creation and the executable's path.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "base/os/file_system.h"
#include "base/os/lock.h"
#include "base/os/thread.h"
#include "tests/support/temp_dir.h"

namespace {

using base::os::CreateDirectoryResult;

// A sleep under the lock ends when its time has passed, with the lock held again.
TEST(ConditionVariableTest, WaitForEndsAfterItsTimeWithTheLockHeld) {
  base::os::Lock lock;
  base::os::ConditionVariable condition;
  std::lock_guard hold(lock);
  const auto start = std::chrono::steady_clock::now();
  condition.WaitFor(lock, 50);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
  // Held again: another thread cannot take it until this test lets go.
  std::atomic<bool> taken{false};
  std::thread other([&] {
    std::lock_guard other_hold(lock);
    taken = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(taken.load());
  lock.unlock();
  other.join();
  EXPECT_TRUE(taken.load());
  lock.lock();  // for the guard
}

// A wake-up from another thread ends the sleep long before its time, and the sleeper sees what
// the waker changed under the lock.
TEST(ConditionVariableTest, WakeOneEndsTheSleepEarly) {
  base::os::Lock lock;
  base::os::ConditionVariable condition;
  bool ready = false;
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    {
      std::lock_guard hold(lock);
      ready = true;
    }
    condition.WakeOne();
  });
  const auto start = std::chrono::steady_clock::now();
  {
    std::lock_guard hold(lock);
    while (!ready && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
      condition.WaitFor(lock, 60000);
    }
    EXPECT_TRUE(ready);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  waker.join();
}

void WaitForFlag(void* flag) {
  while (!static_cast<std::atomic<bool>*>(flag)->load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST(ThreadTest, StopWithinTellsWhetherTheThreadEndedInTime) {
  static std::atomic<bool> release{false};  // outlives a thread that is given up
  release = false;
  base::os::Thread thread;
  ASSERT_TRUE(thread.Start(WaitForFlag, &release));
  EXPECT_TRUE(thread.running());
  EXPECT_FALSE(thread.StopWithin(20));  // still waiting: given up
  EXPECT_FALSE(thread.running());
  release = true;

  static std::atomic<bool> at_once{true};
  ASSERT_TRUE(thread.Start(WaitForFlag, &at_once));
  EXPECT_TRUE(thread.StopWithin(5000));
  EXPECT_TRUE(thread.StopWithin(0));  // nothing left to stop
}

TEST(FileSystemTest, DirectoryTreeReportsCreatedExistingAndFailed) {
  corvane::testing::TempDir dir;
  const std::wstring deep = (dir / "a" / "b" / "c").wstring();
  EXPECT_EQ(base::os::CreateDirectoryTree(deep), CreateDirectoryResult::kCreated);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a" / "b" / "c"));
  EXPECT_EQ(base::os::CreateDirectoryTree(deep), CreateDirectoryResult::kAlreadyExists);
  { std::ofstream(dir / "file") << "x"; }
  EXPECT_EQ(base::os::CreateDirectoryTree((dir / "file" / "d").wstring()),
            CreateDirectoryResult::kFailed);
  EXPECT_TRUE(base::os::PathExists((dir / "file").wstring()));
  EXPECT_FALSE(base::os::PathExists((dir / "none").wstring()));
}

TEST(FileSystemTest, ExecutablePathNamesThisProgram) {
  const std::filesystem::path path(base::os::ExecutablePath());
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(path.stem().string(), "corvane_unit_tests");
}

}  // namespace
