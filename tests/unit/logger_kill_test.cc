// A process that is killed while it logs leaves its most recent records in the memory log.
// POSIX only: the logging process is a forked child, ended with SIGKILL.
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

using corvane::testing::DecodedText;
using corvane::testing::TempDir;

struct Progress {
  std::atomic<int> last_logged{-1};
};

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
  }
}

TEST(LoggerKillTest, MostRecentRecordsSurviveSigkill) {
  TempDir dir;
  void* shared =
      mmap(nullptr, sizeof(Progress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(shared, MAP_FAILED);
  auto* progress = new (shared) Progress;

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) LogUntilKilled(dir.wide(), progress);

  // Long enough for the ring to wrap at least once.
  while (progress->last_logged.load(std::memory_order_acquire) < 60000) usleep(1000);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  const int last = progress->last_logged.load(std::memory_order_acquire);
  munmap(shared, sizeof(Progress));

  const std::string ring = DecodedText(dir / "app.corvane.log");
  EXPECT_NE(ring.find("\tk i=" + std::to_string(last) + ";"), std::string::npos) << last;
  EXPECT_NE(ring.find("\tk i=" + std::to_string(last - 1000) + ";"), std::string::npos);
  EXPECT_NE(ring.find("][TRACE][logger_kill("), std::string::npos);
}

}  // namespace
