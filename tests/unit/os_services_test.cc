// The OS services the logger builds on: the lock's sleep and wake-up, the thread's time limit,
// directory creation, the executable's path, the mapped file and the system's error texts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "base/os/file_system.h"
#include "base/os/lock.h"
#include "base/os/mapped_file.h"
#include "base/os/output_file.h"
#include "base/os/thread.h"
#include "base/strings/utf.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include "base/os/win/scoped_resource.h"
#endif

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

// A file that one owner maps for writing is refused to a second one (another process on
// Windows by the share mode, elsewhere by the advisory lock), told apart from a file that
// cannot be opened at all; once the first lets go, the second maps it.
TEST(MappedFileTest, FileHeldByAnotherOwnerIsToldApart) {
  using OpenResult = base::os::MappedFile::OpenResult;
  corvane::testing::TempDir dir;
  const std::wstring path = (dir / "ring.log").wstring();
  base::os::MappedFile first;
  base::os::MappedFile second;
  ASSERT_EQ(first.Open(&path, 4096), OpenResult::kMapped);
  EXPECT_EQ(second.Open(&path, 4096), OpenResult::kHeldElsewhere);
  EXPECT_EQ(second.data(), nullptr);
  first.Close();
  EXPECT_EQ(second.Open(&path, 4096), OpenResult::kMapped);
  const std::wstring nowhere = (dir / "none" / "ring.log").wstring();
  EXPECT_EQ(first.Open(&nowhere, 4096), OpenResult::kFailed);
}

// A file counts as holding its blocks only when the disk stores every byte. A sparse file at
// full length, as an older program could leave it, shows its holes in the stored size only:
// NTFS counts them in its allocation size (Wine and POSIX file systems do not).
TEST(MappedFileTest, OnlyStoredBytesCountAsBlocks) {
  using base::os::HoldsBlocksFor;
  constexpr uint64_t kSize = 3145890;
  EXPECT_TRUE(HoldsBlocksFor({kSize, kSize + 2014, kSize + 2014}, kSize));
  EXPECT_FALSE(HoldsBlocksFor({kSize - 1, kSize + 2014, kSize + 2014}, kSize));
  EXPECT_FALSE(HoldsBlocksFor({kSize, kSize + 2014, 65536}, kSize));  // sparse, as NTFS says
  EXPECT_FALSE(HoldsBlocksFor({kSize, 65536, 65536}, kSize));         // sparse, as Wine says
}

#ifdef _WIN32
// Under Wine: a file with holes at full length (made as an older program made it: a length set
// without writing) gets all its blocks before it is mapped.
TEST(MappedFileTest, FileWithHolesGetsEveryBlockBeforeItIsMapped) {
  constexpr uint64_t kSize = 3145890;
  corvane::testing::TempDir dir;
  const std::wstring path = (dir / "app.corvane.log").wstring();
  {
    base::win::ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                 nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                                 nullptr));
    ASSERT_TRUE(file.valid());
    DWORD returned = 0;
    DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = kSize;
    ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.get()));
  }
  // Wine counts the blocks the Linux file system holds in the allocation size (its
  // GetCompressedFileSizeW gives the length).
  auto stored = [&] {
    base::win::ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    FILE_STANDARD_INFO info{};
    if (!GetFileInformationByHandleEx(file.get(), FileStandardInfo, &info, sizeof info))
      return 0ull;
    return static_cast<unsigned long long>(info.AllocationSize.QuadPart);
  };
  if (stored() >= kSize) GTEST_SKIP() << "this file system left no holes";
  base::os::MappedFile mapped;
  ASSERT_EQ(mapped.Open(&path, kSize), base::os::MappedFile::OpenResult::kMapped);
  EXPECT_GE(stored(), kSize);
}
#endif

// Error texts come as UTF-16 in the system's language and reach logs and terminals as UTF-8,
// without the line end and full stop; on this system too (under Wine, from FormatMessageW).
TEST(ErrorTextTest, SystemMessagesBecomeUtf8WithoutTheirEnd) {
  using base::os::ErrorTextFromSystemMessage;
  EXPECT_EQ(ErrorTextFromSystemMessage(u"Espace insuffisant sur le disque.\r\n", 112),
            "Espace insuffisant sur le disque");
  EXPECT_EQ(ErrorTextFromSystemMessage(u"Der Datenträger ist voll. \r\n", 112),
            "Der Datentr\xC3\xA4ger ist voll");
  EXPECT_EQ(ErrorTextFromSystemMessage(u"\u78C1\u76D8\u7A7A\u95F4\u4E0D\u8DB3\u3002\r\n", 112),
            "\xE7\xA3\x81\xE7\x9B\x98\xE7\xA9\xBA\xE9\x97\xB4\xE4\xB8\x8D\xE8\xB6\xB3"
            "\xE3\x80\x82");
  EXPECT_EQ(ErrorTextFromSystemMessage(u".\r\n", 112), "error 112");
  EXPECT_EQ(ErrorTextFromSystemMessage(u"", 7), "error 7");

  const std::string text = base::os::ErrorText(2);
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), '.');
  EXPECT_EQ(base::WideToUtf8(base::Utf8ToWide(text)), text) << "not UTF-8: " << text;
}

}  // namespace
