// The OS services the logger builds on: the semaphore's maximum, the thread's time limit,
// directory creation and the executable's path.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/os/file_system.h"
#include "base/os/semaphore.h"
#include "base/os/thread.h"
#include "tests/support/temp_dir.h"

namespace {

using base::os::CreateDirectoryResult;

TEST(SemaphoreTest, ReleaseStopsAtTheMaximum) {
  base::os::Semaphore semaphore(0, 2);
  EXPECT_FALSE(semaphore.TryWait());
  EXPECT_TRUE(semaphore.Release());
  EXPECT_TRUE(semaphore.Release());
  EXPECT_FALSE(semaphore.Release());  // refused, count unchanged
  EXPECT_TRUE(semaphore.Wait());
  EXPECT_TRUE(semaphore.TryWait());
  EXPECT_FALSE(semaphore.TryWait());
}

TEST(SemaphoreTest, WaitForTakesWhatIsThereAndOtherwiseTimesOut) {
  using Result = base::os::Semaphore::WaitResult;
  base::os::Semaphore semaphore(1, 5);
  EXPECT_EQ(semaphore.WaitFor(0), Result::kTaken);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(semaphore.WaitFor(50), Result::kTimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
  // A release from another thread ends the wait early.
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    semaphore.Release();
  });
  EXPECT_EQ(semaphore.WaitFor(10000), Result::kTaken);
  releaser.join();
  EXPECT_FALSE(semaphore.TryWait());
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
