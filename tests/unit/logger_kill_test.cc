// A process that is killed while it logs leaves its most recent records in the memory log,
// and all but about the last second of them in the text log. POSIX only: the logging process is a
// forked child, ended with SIGKILL.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "base/log/log_record.h"
#include "base/log/logger.h"
#include "tests/support/log_text.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr char kLogSource[] = "tests/unit/logger_kill";

using corvane::testing::DecodeFile;
using corvane::testing::TempDir;

struct Progress {
  std::atomic<int> last_logged{-1};
  std::atomic<int> pause_after{-1};  // the child waits after this record until it is cleared
};

std::string Message(int i) {
  return "k i=" + std::to_string(i) + "; and some more text";
}

[[noreturn]] void LogUntilKilled(const std::wstring& dir, Progress* progress) {
  base::logger logger;
  if (!logger.Init(true, L"corvane", dir.c_str(), L"app", L"", false, /*encrypt=*/true, true, 0,
                   0)) {
    _exit(3);
  }
  logger.SetLevel(base::kLogInfo);
  for (int i = 0;; ++i) {
    BASE_LOG_TO(&logger, kLogSource, i % 2 == 0 ? base::kLogTrace : base::kLogInfo,
                "k i={}; and some more text", i);
    progress->last_logged.store(i, std::memory_order_release);
    while (progress->pause_after.load(std::memory_order_acquire) == i) usleep(100);
  }
}

// The memory log's records end with record `newest` (or the one after it, when
// `or_next`): consecutive, each whole, the newest cut by at most the 7 bytes that the encoder
// may still have held back, and nothing after it.
void ExpectNewestRecords(const TempDir& dir, int newest, bool or_next) {
  const auto log = DecodeFile(dir / "app.corvane.log");
  ASSERT_EQ(log.status, base::log_reader::DecodeStatus::kComplete) << log.problem;
  EXPECT_EQ(log.newest_end, base::log_reader::NewestEnd::kMayLackTail);
  ASSERT_GT(log.records.size(), 10000u);
  const auto& last = log.records.back();
  const std::string prefix = "k i=" + std::to_string(newest + 1) + ";";
  if (or_next && last.message.starts_with(prefix)) ++newest;
  const std::string full = Message(newest);
  EXPECT_TRUE(full.starts_with(last.message)) << last.message;
  EXPECT_GE(last.message.size() + 7, full.size()) << last.message;
  const int first = newest + 1 - static_cast<int>(log.records.size());
  for (size_t k = 0; k < log.records.size(); ++k) {
    const auto& record = log.records[k];
    const int i = first + static_cast<int>(k);
    ASSERT_EQ(record.level, i % 2 == 0 ? "TRACE" : "INFO") << i;
    ASSERT_EQ(record.file, "logger_kill") << i;
    if (k + 1 < log.records.size()) {
      ASSERT_EQ(record.message, Message(i));
    }
  }
}

TEST(LoggerKillTest, NewestRecordIsWholeWhileTheWriterRunsAndAfterSigkill) {
  if (corvane::testing::DevReaderKey() == nullptr) GTEST_SKIP() << "no development key";
  TempDir dir;
  void* shared =
      mmap(nullptr, sizeof(Progress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(shared, MAP_FAILED);
  auto* progress = new (shared) Progress;
  // Long enough for the ring to wrap at least once.
  constexpr int kPauseAfter = 60000;
  progress->pause_after.store(kPauseAfter);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) LogUntilKilled(dir.wide(), progress);

  // The file as the running writer leaves it, between two records.
  while (progress->last_logged.load(std::memory_order_acquire) < kPauseAfter) usleep(1000);
  ExpectNewestRecords(dir, kPauseAfter, false);
  // The text log's file holds the same newest record about a second later, whole, without
  // waiting for more records or the end of the run (bounded far above that for busy machines).
  const auto text_log_reaches = [&](int newest) {
    const auto text_logs = corvane::testing::TextLogs(dir.path());
    for (int tries = 0; tries < 100 && text_logs.size() == 1; ++tries) {
      const auto log = DecodeFile(text_logs[0]);
      if (!log.records.empty() && log.records.back().message == Message(newest)) return true;
      usleep(100 * 1000);
    }
    return false;
  };
  EXPECT_TRUE(text_log_reaches(kPauseAfter - 1 + kPauseAfter % 2));

  progress->pause_after.store(-1, std::memory_order_release);
  while (progress->last_logged.load(std::memory_order_acquire) < kPauseAfter + 20000) {
    usleep(1000);
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  const int last = progress->last_logged.load(std::memory_order_acquire);
  munmap(shared, sizeof(Progress));
  // Killed after the record `last` or while the next one was on its way.
  ExpectNewestRecords(dir, last, true);

  // The text log (INFO and above: the odd records) in order from the first one, at least up to
  // the pause.
  const auto text_logs = corvane::testing::TextLogs(dir.path());
  ASSERT_EQ(text_logs.size(), 1u);
  const auto text_log = DecodeFile(text_logs[0]);
  int expected = 1;
  for (const auto& record : text_log.records) {
    if (record.file != "logger_kill") continue;
    if (&record != &text_log.records.back() || !Message(expected).starts_with(record.message)) {
      ASSERT_EQ(record.message, Message(expected));
    }
    expected += 2;
  }
  EXPECT_GT(expected, kPauseAfter) << "the text log ends at record " << expected - 2;
}

}  // namespace
