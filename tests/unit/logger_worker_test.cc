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

base::LogLineHead HeadOfLine(int line) {
  return {{1741064767, 5}, 77, "INFO", "queue", line, ""};
}

TEST(LogQueueTest, EntriesComeOutInOrderAndAFullBatchWakesTheWorker) {
  base::LogQueue queue;
  const base::LogLevel info = base::LevelFromNumber(base::kLogInfo);
  for (int i = 0; i < 5; ++i) {
    const bool wake = queue.Push([&](base::LogEntry& entry) {
      entry.Assign(HeadOfLine(i), info, "message " + std::to_string(i));
    });
    EXPECT_FALSE(wake) << i;  // single records wait for the worker's period
  }
  base::LogBatch batch;
  queue.TakeAll(batch);
  ASSERT_EQ(batch.entries().size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(batch.entries()[i].line, i);
    EXPECT_EQ(batch.entries()[i].message, "message " + std::to_string(i));
    EXPECT_EQ(batch.entries()[i].file, "queue");
    EXPECT_EQ(batch.entries()[i].level.value, info.value);
  }
  batch.Recycle();
  // The queue is empty again: it fills written slots, and the entry that makes a batch of
  // kWakeAt, and only that one, asks for the worker.
  for (size_t i = 1; i <= base::LogQueue::kWakeAt + 1; ++i) {
    const bool wake = queue.Push(
        [&](base::LogEntry& entry) { entry.Assign(HeadOfLine(static_cast<int>(i)), info, "x"); });
    EXPECT_EQ(wake, i == base::LogQueue::kWakeAt) << i;
  }
  queue.TakeAll(batch);
  ASSERT_EQ(batch.entries().size(), base::LogQueue::kWakeAt + 1);
  EXPECT_EQ(batch.entries()[0].message, "x");
  queue.Clear();
  base::LogBatch after_clear;
  queue.TakeAll(after_clear);
  EXPECT_TRUE(after_clear.entries().empty());
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

TEST(LogQueueTest, WrittenSlotsKeepTheirBuffersAndABurstIsGivenBack) {
  const base::LogLevel info = base::LevelFromNumber(base::kLogInfo);
  const std::string long_text(3 * base::LogBatch::kLargestKeptMessage, 'L');
  base::LogBatch batch;
  const size_t burst = 3 * base::LogBatch::kMostSpareSlots;
  for (size_t i = 0; i < burst; ++i) {
    batch.Append().Assign(HeadOfLine(static_cast<int>(i)), info,
                          i == 1 ? long_text : std::string(100, 'm'));
  }
  const char* kept_buffer = batch.slots[0].message.data();
  batch.Recycle();
  EXPECT_TRUE(batch.entries().empty());
  EXPECT_EQ(batch.slots.size(), base::LogBatch::kMostSpareSlots);
  EXPECT_LE(batch.slots[1].message.capacity(), base::LogBatch::kLargestKeptMessage);
  // A slot filled again writes into the buffer it had: no allocation.
  batch.Append().Assign(HeadOfLine(0), info, std::string(60, 'n'));
  EXPECT_EQ(batch.slots[0].message.data(), kept_buffer);
  EXPECT_EQ(batch.entries()[0].message, std::string(60, 'n'));
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
