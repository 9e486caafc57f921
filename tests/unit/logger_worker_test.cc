// The logger's worker: every record of several threads reaches the text log in order, the
// memory log keeps whole pieces, and nothing queued before Uninit is lost.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/log/log_record.h"
#include "base/log/logger.h"
#include "base/log/logger_state.h"
#include "tests/support/log_text.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr char kLogSource[] = "tests/unit/logger_worker";

using corvane::testing::DecodedText;
using corvane::testing::TempDir;
using corvane::testing::TextLogs;

// "t=<thread> i=<index>" records found in `text`: per thread, the indices in file order.
std::map<int, std::vector<int>> RecordsByThread(const std::string& text) {
  std::map<int, std::vector<int>> found;
  for (size_t at = text.find("\tt="); at != std::string::npos; at = text.find("\tt=", at + 1)) {
    char* end = nullptr;
    const int thread = static_cast<int>(std::strtol(text.c_str() + at + 3, &end, 10));
    if (std::strncmp(end, " i=", 3) != 0) continue;  // not a whole record
    found[thread].push_back(static_cast<int>(std::strtol(end + 3, nullptr, 10)));
  }
  return found;
}

TEST(LoggerWorkerTest, FourThreadsLoseNothingAndKeepTheirOrder) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 50000;
  TempDir dir;
  base::logger logger;
  ASSERT_TRUE(logger.Init(true, L"corvane", dir.wide().c_str(), L"app", L"", false,
                          /*encrypt=*/true, true, 0, 0));
  logger.SetLevel(base::kLogInfo);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&logger, t] {
      for (int i = 0; i < kPerThread; ++i) {
        BASE_LOG_TO(&logger, kLogSource, base::kLogInfo, "t={} i={} {}", t, i, "padding text");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  // Dump while the records are fresh; Uninit then drains the queue into the text log.
  const std::filesystem::path dump = dir / "dump.bin";
  ASSERT_TRUE(logger.DumpToFile(dump.wstring()));
  // Uninit gives the worker 2 s, which a loaded machine may not give it for this many records
  // (what happens past the limit is tested below): first let the file stop growing.
  const std::filesystem::path text_file = TextLogs(dir.path()).at(0);
  for (uintmax_t size = 0, rounds = 0; rounds < 100; ++rounds) {  // 30 s at most
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const uintmax_t now = std::filesystem::file_size(text_file);
    if (now == size) break;
    size = now;
  }
  logger.Uninit();

  const auto text_log = RecordsByThread(DecodedText(TextLogs(dir.path()).at(0)));
  ASSERT_EQ(text_log.size(), static_cast<size_t>(kThreads));
  for (const auto& [thread, indices] : text_log) {
    ASSERT_EQ(indices.size(), static_cast<size_t>(kPerThread)) << thread;
    for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(indices[i], i) << thread;
  }

  // The ring holds the newest records, each one whole: every record reads back as written,
  // and per thread the indices run without a gap up to the thread's last record. (A thread
  // that ended early may have none left in the ring.)
  const auto ring = corvane::testing::DecodeFile(dump);
  ASSERT_GT(ring.records.size(), 30000u);
  const std::regex record("t=([0-3]) i=([0-9]+) padding text");
  std::map<int, std::vector<int>> newest;
  for (size_t k = 0; k + 1 < ring.records.size(); ++k) {  // the newest may lack held-back bytes
    std::smatch match;
    const std::string& message = ring.records[k].message;
    ASSERT_TRUE(std::regex_match(message, match, record)) << k << ": " << message;
    EXPECT_EQ(ring.records[k].level, "INFO");
    newest[std::stoi(match[1])].push_back(std::stoi(match[2]));
  }
  for (const auto& [thread, indices] : newest) {
    for (size_t k = 1; k < indices.size(); ++k) ASSERT_EQ(indices[k], indices[k - 1] + 1) << thread;
    EXPECT_GE(indices.back(), kPerThread - 2) << thread;
  }
}

TEST(LoggerWorkerTest, RecordsQueuedJustBeforeUninitAreWritten) {
  TempDir dir;
  for (int run = 0; run < 3; ++run) {
    base::logger logger;
    ASSERT_TRUE(logger.Init(false, L"corvane", dir.wide().c_str(), L"app", L"", false,
                            /*encrypt=*/true, false, 0, 0));
    logger.SetLevel(base::kLogInfo);
    for (int i = 0; i < 20000; ++i) BASE_LOG_TO(&logger, kLogSource, base::kLogInfo, "r i={}", i);
    BASE_LOG_TO(&logger, kLogSource, base::kLogNotice, "Corvane exit with code {}", 0);
    logger.Uninit();
    const auto log = corvane::testing::DecodeFile(dir / "app.corvane.log");
    EXPECT_EQ(log.status, base::log_reader::DecodeStatus::kComplete) << log.problem;
    EXPECT_TRUE(log.closed);
    ASSERT_EQ(log.records.size(), 20001u) << run;
    EXPECT_EQ(log.records[19999].message, "r i=19999");
    EXPECT_EQ(log.records.back().message, "Corvane exit with code 0");
  }
}

// Waits up to `limit` for `done`; true when it came.
template <typename Done>
bool WaitFor(std::chrono::milliseconds limit, Done done) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::vector<std::string> LinesOf(const base::LogLines& lines) {
  std::vector<std::string> out;
  lines.ForEach([&](std::string_view line) { out.emplace_back(line); });
  return out;
}

TEST(LogQueueTest, LinesComeOutInOrderAndClearDropsThem) {
  base::LogQueue queue;
  for (int i = 0; i < 5; ++i) queue.Push("\nline " + std::to_string(i));
  base::LogLines batch;
  queue.TakeAll(batch);
  EXPECT_EQ(LinesOf(batch),
            (std::vector<std::string>{"\nline 0", "\nline 1", "\nline 2", "\nline 3", "\nline 4"}));
  batch.Recycle();
  queue.TakeAll(batch);
  EXPECT_TRUE(batch.empty());
  queue.Push("dropped");
  queue.Clear();
  queue.TakeAll(batch);
  EXPECT_TRUE(batch.empty());
}

// A sleeping worker sleeps on while fewer than kWakeAt lines wait, and is woken by the line
// that makes them kWakeAt, or by the stop. With that many lines waiting, or once the stop was
// asked for, it does not sleep at all.
TEST(LogQueueTest, ASleepingWorkerIsWokenByEnoughLinesOrTheStop) {
  using base::LogQueue;
  using std::chrono::milliseconds;
  LogQueue queue;
  std::atomic<bool> awake{false};
  std::thread worker([&] {
    queue.Sleep(/*period_ms=*/60000);
    awake = true;
  });
  for (size_t i = 1; i < LogQueue::kWakeAt; ++i) queue.Push("line");
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_FALSE(awake.load());
  queue.Push("line");
  EXPECT_TRUE(WaitFor(milliseconds(5000), [&] { return awake.load(); }));
  worker.join();

  const auto start = std::chrono::steady_clock::now();
  queue.Sleep(60000);  // kWakeAt lines wait
  base::LogLines batch;
  queue.TakeAll(batch);
  awake = false;
  std::thread stopped([&] {
    queue.Sleep(60000);
    awake = true;
  });
  std::this_thread::sleep_for(milliseconds(50));
  queue.RequestStop();
  EXPECT_TRUE(WaitFor(milliseconds(5000), [&] { return awake.load(); }));
  stopped.join();
  queue.Sleep(60000);  // stop asked for
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(20000));
}

// Records that come one at a time wake nobody; the worker's own period writes them.
TEST(LoggerWorkerTest, SingleRecordsReachTheFileWithinTheWorkersPeriod) {
  TempDir dir;
  base::logger logger;
  ASSERT_TRUE(logger.Init(false, L"corvane", dir.wide().c_str(), L"app", L"", false,
                          /*encrypt=*/true, false, 0, 0));
  logger.SetLevel(base::kLogInfo);
  for (int i = 0; i < 3; ++i) BASE_LOG_TO(&logger, kLogSource, base::kLogInfo, "single {}", i);
  const auto arrived = [&] {
    logger.Flush();
    return corvane::testing::DecodeFile(dir / "app.corvane.log").records.size() == 3;
  };
  EXPECT_TRUE(WaitFor(std::chrono::milliseconds(20 * base::LogQueue::kWorkerPeriodMs), arrived));
  logger.Uninit();
  const auto log = corvane::testing::DecodeFile(dir / "app.corvane.log");
  ASSERT_EQ(log.records.size(), 3u);
  EXPECT_EQ(log.records[2].message, "single 2");
}

// Lines of any size, also empty ones and ones longer than a block, come back whole and in
// order across blocks; a recycled batch keeps its blocks up to the bound and fills them again.
TEST(LogLinesTest, LinesOfAnySizeKeepTheirOrderAndABurstIsGivenBack) {
  using base::LogLines;
  const std::string longer_than_a_block(LogLines::kBlockSize + 7, 'L');
  const std::string exactly_a_block(LogLines::kBlockSize - LogLines::kSizeBytes, 'B');
  std::vector<std::string> written;
  LogLines lines;
  const size_t burst = 3 * LogLines::kMostSpareBlocks * LogLines::kBlockSize / 120;
  for (size_t i = 0; i < burst; ++i) {
    std::string line = i == 3     ? longer_than_a_block
                       : i == 500 ? exactly_a_block
                       : i == 9   ? std::string()
                                  : "\n" + std::to_string(i) + std::string(i % 200, 'm');
    lines.Append(line);
    written.push_back(std::move(line));
  }
  EXPECT_EQ(lines.count(), burst);
  EXPECT_EQ(LinesOf(lines), written);
  EXPECT_GT(lines.blocks(), LogLines::kMostSpareBlocks);

  lines.Recycle();
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(LinesOf(lines).empty());
  EXPECT_EQ(lines.blocks(), LogLines::kMostSpareBlocks);
  // A long line first, into a batch of spare blocks: it gets a block of its own before them.
  lines.Append(longer_than_a_block);
  lines.Append("after");
  EXPECT_EQ(LinesOf(lines), (std::vector<std::string>{longer_than_a_block, "after"}));
  EXPECT_EQ(lines.blocks(), LogLines::kMostSpareBlocks + 1);
  lines.Recycle();
  EXPECT_EQ(lines.blocks(), LogLines::kMostSpareBlocks);
}

// Holds the worker inside the queue's lock until the test lets it go.
std::atomic<bool> g_worker_held{false};
std::atomic<bool> g_worker_released{false};

void HoldWorkerInsideQueueLock() {
  g_worker_held.store(true);
  while (!g_worker_released.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// A worker that misses the tear-down's limit while it holds the queue's lock (on Windows it is
// terminated there, and the lock is never free again): Uninit gives it up after the limit and
// returns without taking that lock.
TEST(LoggerWorkerTest, UninitReturnsWhenTheWorkerIsStuckHoldingTheQueueLock) {
  using std::chrono::milliseconds;
  TempDir dir;
  // Left alive when Uninit hangs, so that the hung thread does not outlive its object.
  auto* logger = new base::logger;
  ASSERT_TRUE(logger->Init(false, L"corvane", dir.wide().c_str(), L"app", L"", false,
                           /*encrypt=*/true, false, 0, 0));
  logger->SetLevel(base::kLogInfo);
  g_worker_held = false;
  g_worker_released = false;
  base::SetWorkerQueueLockHookForTesting(HoldWorkerInsideQueueLock);
  BASE_LOG_TO(logger, kLogSource, base::kLogInfo, "held by the worker");
  ASSERT_TRUE(WaitFor(milliseconds(5000), [] { return g_worker_held.load(); }));

  auto uninit_done = std::make_shared<std::atomic<bool>>(false);
  const auto start = std::chrono::steady_clock::now();
  std::thread([logger, uninit_done] {
    logger->Uninit();
    uninit_done->store(true);
  }).detach();
  const bool returned =
      WaitFor(milliseconds(base::kWorkerStopTimeoutMs + 3000), [&] { return uninit_done->load(); });
  const auto waited = std::chrono::steady_clock::now() - start;
  base::SetWorkerQueueLockHookForTesting(nullptr);
  g_worker_released = true;
  ASSERT_TRUE(returned) << "Uninit waits for the queue's lock";
  EXPECT_GE(waited, milliseconds(base::kWorkerStopTimeoutMs - 100));  // the limit was given
  delete logger;
#ifndef _WIN32
  // Natively a worker given up runs on: once let go it writes what it held and closes the log.
  EXPECT_TRUE(WaitFor(milliseconds(5000), [&] {
    return corvane::testing::DecodeFile(dir / "app.corvane.log").closed;
  }));
  const auto log = corvane::testing::DecodeFile(dir / "app.corvane.log");
  ASSERT_EQ(log.records.size(), 1u);
  EXPECT_EQ(log.records[0].message, "held by the worker");
#endif
}

}  // namespace
