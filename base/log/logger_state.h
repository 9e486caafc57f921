#pragma once
// The logger's state: what one initialisation owns, and the queue its worker thread drains.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/log/log_entry.h"
#include "base/log/logger.h"
#include "base/log/mem_log.h"
#include "base/log/text_file_sink.h"
#include "base/os/semaphore.h"
#include "base/os/thread.h"

namespace base {

// Entries on their way to the text log, shared by the callers and the worker thread. The
// worker holds its own reference, so a worker that is given up at tear-down still finds it.
struct LogQueue {
  static constexpr int32_t kMaxWakeups = 100000;

  std::mutex lock;
  std::vector<std::unique_ptr<LogEntry>> entries;  // oldest first, no size limit
  // Entries the worker has written, kept for callers to fill again, so that a steady flow of
  // records allocates no entries.
  std::vector<std::unique_ptr<LogEntry>> spare;
  os::Semaphore wakeup{0, kMaxWakeups};
  std::atomic<bool> stop{false};
};

struct logger::InnerData {
  // Read by every log statement without a lock.
  std::atomic<int32_t> file_level{3};    // NOTICE
  std::atomic<int32_t> memory_level{1};  // TRACE
  std::atomic<bool> initialised{false};
  bool mem_log_on = true;
  bool synchronous = true;

  std::wstring mem_log_dir;
  std::wstring log_dir;

  std::shared_ptr<LogQueue> queue = std::make_shared<LogQueue>();
  os::Thread worker;
  std::shared_ptr<g3::TextFileSink> sink;
  MemLog mem_log;

  InnerData() = default;
  // Stops the worker (at most 2000 ms), closes the memory log and then the text log.
  ~InnerData();
};

// How long the tear-down waits for the worker to end.
inline constexpr uint32_t kWorkerStopTimeoutMs = 2000;

// For tests: `hook` runs on the worker each time it holds the queue's lock for an exchange, so
// that a test can hold the worker there past the tear-down's limit. Null removes it.
void SetWorkerQueueLockHookForTesting(void (*hook)());

}  // namespace base
