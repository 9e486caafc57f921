#pragma once
// The logger's state: what one initialisation owns, and the queue its worker thread drains.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "base/log/log_entry.h"
#include "base/log/logger.h"
#include "base/log/mem_log.h"
#include "base/log/text_file_sink.h"
#include "base/os/semaphore.h"
#include "base/os/thread.h"

namespace base {

// Entries on their way to the text log, in slots that keep their strings' buffers from one
// record to the next: the callers fill the slots of one batch while the worker writes the
// other, and the two are exchanged whole. A steady flow of records allocates nothing.
struct LogBatch {
  // Kept after a burst: slots for this many entries, message buffers up to this size.
  static constexpr size_t kMostSpareSlots = 1024;
  static constexpr size_t kLargestKeptMessage = 4096;

  std::vector<LogEntry> slots;
  size_t count = 0;  // slots[0, count) hold entries, oldest first

  std::span<const LogEntry> entries() const { return {slots.data(), count}; }
  // The next slot to fill; made when the batch has none to spare.
  LogEntry& Append();
  // Forgets the entries after they were written. What only a burst needed (slots beyond a
  // steady flow's, long messages' buffers) is freed.
  void Recycle();
};

// The queue shared by the callers and the worker thread. The worker holds its own reference,
// so a worker that is given up at tear-down still finds it.
class LogQueue {
 public:
  static constexpr int32_t kMaxWakeups = 100000;

  // The worker looks at the queue this often on its own, and is woken early when this many
  // entries wait. A wake-up is a system call (under Wine a call to the Wine server, tens of
  // microseconds), so records that come one at a time do not pay for one each; they reach
  // the text log's stream within the period, and all of them at the stop.
  static constexpr uint32_t kWorkerPeriodMs = 100;
  static constexpr size_t kWakeAt = 64;

  // Fills the next slot with `fill(LogEntry&)` under the lock, which is held for that copy
  // alone. True when the entries waiting have just reached kWakeAt: the worker is to be woken.
  template <typename Fill>
  bool Push(const Fill& fill) {
    std::lock_guard hold(lock_);
    fill(queued_.Append());
    return queued_.count == kWakeAt;
  }

  // Exchanges the queued entries for `batch`, which must have been recycled. `while_locked`
  // (tests only) runs while the lock is held.
  void TakeAll(LogBatch& batch, void (*while_locked)() = nullptr);

  // Drops the queued entries unwritten.
  void Clear();

  os::Semaphore wakeup{0, kMaxWakeups};
  std::atomic<bool> stop{false};

 private:
  std::mutex lock_;
  LogBatch queued_;
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
