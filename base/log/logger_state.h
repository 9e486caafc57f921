#pragma once
// The logger's state: what one initialisation owns, and the queue its worker thread drains.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/log/log_lines.h"
#include "base/log/logger.h"
#include "base/log/mem_log.h"
#include "base/log/text_file_sink.h"
#include "base/os/lock.h"
#include "base/os/thread.h"

namespace base {

// The queue of lines shared by the callers and the worker thread; the callers fill one batch
// while the worker writes the other, and the two are exchanged whole. The worker holds its own
// reference, so a worker that is given up at tear-down still finds it.
class LogQueue {
 public:
  // The worker looks at the queue this often on its own, and is woken early when this many
  // lines wait while it sleeps. Records that come one at a time do not pay for a wake-up each;
  // they reach the text log's stream within the period, and all of them at the stop. A worker
  // that is awake takes the queue again after each batch and is not woken at all.
  static constexpr uint32_t kWorkerPeriodMs = 100;
  static constexpr size_t kWakeAt = 64;
  // The worker hands what it wrote to the text log's file this long after its last flush, at
  // the first moment it has nothing more to write.
  static constexpr uint64_t kTextFlushPeriodMs = 1000;

  // Copies `line` into the queue under the lock, which is held for that copy alone, and wakes
  // the worker when it sleeps and kWakeAt lines wait.
  void Push(std::string_view line) {
    bool wake = false;
    {
      std::lock_guard hold(lock_);
      queued_.Append(line);
      if (worker_sleeps_ && queued_.count() >= kWakeAt) {
        worker_sleeps_ = false;  // one wake-up per sleep
        wake = true;
      }
    }
    if (wake) wakeup_.WakeOne();
  }

  // The worker's sleep between batches, `period_ms` at most; none when kWakeAt lines wait
  // already or the stop has been asked for.
  void Sleep(uint32_t period_ms = kWorkerPeriodMs) {
    std::lock_guard hold(lock_);
    if (stop_requested() || queued_.count() >= kWakeAt) return;
    worker_sleeps_ = true;
    wakeup_.WaitFor(lock_, period_ms);
    worker_sleeps_ = false;
  }

  // Asks the worker to write what is queued and end. Takes no lock: the tear-down calls it
  // also when a worker may be stuck holding this one.
  void RequestStop() {
    stop_.store(true, std::memory_order_release);
    wakeup_.WakeOne();
  }
  bool stop_requested() const { return stop_.load(std::memory_order_acquire); }

  // Exchanges the queued lines for `batch`, which must have been recycled. `while_locked`
  // (tests only) runs while the lock is held.
  void TakeAll(LogLines& batch, void (*while_locked)() = nullptr);

  // Drops the queued lines unwritten.
  void Clear();

 private:
  os::Lock lock_;
  os::ConditionVariable wakeup_;
  LogLines queued_;
  bool worker_sleeps_ = false;  // under lock_
  std::atomic<bool> stop_{false};
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
