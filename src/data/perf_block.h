#pragma once
// The shared performance block: its name, the 20-byte header and the lock word protocol that
// the overlay and the host's writer both follow. Portable: it works on any mapped view.
//
//   offset 0   u64  lock      0 = free, 1 = an overlay reads, other values: a writer writes
//   offset 8   u32  enabled   non-zero = show the overlay
//   offset 12  u32  length    payload bytes after the header, 1..4096
//   offset 16  u32  ipc_wnd   the host's IPC window handle, 0 = none
//   offset 20       payload   the JSON document, UTF-8, no terminator
//
// All words are little-endian, which is what every machine this runs on is.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace corvane {

inline constexpr char kPerfBlockName[] = "{44F38C7C-449C-4624-8F7E-A4FF5C3EFDE1}_perf_for_cross_";

inline constexpr size_t kLockOffset = 0;
inline constexpr size_t kEnabledOffset = 8;
inline constexpr size_t kLengthOffset = 12;
inline constexpr size_t kIpcWindowOffset = 16;
inline constexpr size_t kPayloadOffset = 20;
inline constexpr size_t kHeaderSize = kPayloadOffset;
inline constexpr size_t kMaxPayloadSize = 4096;
inline constexpr size_t kPerfBlockSize = kHeaderSize + kMaxPayloadSize;

// What each side writes into the lock word while it holds it (BlockLockWord). Every overlay
// takes the word with 1 and frees it from 1 to 0. Each writer takes it with a value of its own: the
// writer bit, its process id and a number of its own within the process, so that a takeover of
// an abandoned word (a compare-and-exchange from the value watched to one's own) changes the
// word where a second watcher sees it, and a writer frees only a word that still holds its own
// value (a compare-and-exchange to 0). The writer's values: WriterLockValue (perf_feed_writer.h).
inline constexpr uint64_t kReaderLockValue = 1;
// The one value that hosts written before writers had values of their own put in the word. The
// overlay never looks at what a held word holds, so it works with them as with any writer.
inline constexpr uint64_t kConstantWriterLockValue = 2;

// Another process changes the block, so every word is read and written as an atomic on the
// mapped memory: one load per word (a value checked is the value used) and a lock that works
// across processes, which needs the operation to be lock-free.
template <typename Word>
std::atomic_ref<Word> BlockWord(void* view, size_t offset) {
  static_assert(std::atomic_ref<Word>::is_always_lock_free);
  return std::atomic_ref<Word>(
      *reinterpret_cast<Word*>(static_cast<unsigned char*>(view) + offset));
}

inline uint32_t LoadHeaderWord(void* view, size_t offset) {
  return BlockWord<uint32_t>(view, offset).load(std::memory_order_relaxed);
}

inline void StoreHeaderWord(void* view, size_t offset, uint32_t value) {
  BlockWord<uint32_t>(view, offset).store(value, std::memory_order_relaxed);
}

// How a writer waits for a held lock word (BlockLockWord::AcquireWaiting).
struct LockWaitLimits {
  // A word that has kept one non-zero value without a break for longer than this is abandoned
  // (a reader holds it for well under a millisecond, a writer for a few microseconds) and is
  // taken over with one compare-and-exchange from that value. A change restarts the watch.
  uint32_t takeover_after_ms = 2000;
  // The wait ends with an error when the word was neither free nor abandoned in this time: it
  // kept changing hands without ever coming free.
  uint32_t give_up_after_ms = 5000;
};

// A pause between two looks at a held word longer than this means the watcher itself was
// frozen or starved: it cannot vouch that the word kept its value meanwhile (another holder
// may have freed it and a third taken it with the same value, as every overlay locks with 1),
// so its watch starts again.
inline constexpr uint32_t kLongestUnwatchedMs = 250;

// For tests: called, when set, at the points of the wait where another process could act.
struct LockWatchHooks {
  std::function<void()> after_look;       // after each look at a held word
  std::function<void()> before_takeover;  // after the word was judged abandoned, before the swap
  std::function<void()> while_held;       // by a writer, after it wrote and before it releases
};

// The block's lock word, the one lock between the overlays and the host's writers. Every
// change is one compare-and-exchange from the value the changer expects: a holder takes the
// word from 0 to its own value and frees it from its own value to 0, so a holder whose word was
// taken over meanwhile neither frees nor overwrites the word of the one that took it.
class BlockLockWord {
 public:
  explicit BlockLockWord(void* view) : word_(BlockWord<uint64_t>(view, kLockOffset)) {}

  // One attempt: from 0 to `value`. False when the word is held.
  bool TryAcquire(uint64_t value) { return Swap(0, value); }
  // From `value` to 0. False, leaving the word as it is, when it no longer holds `value`.
  bool Release(uint64_t value) { return Swap(value, 0); }
  // From `abandoned` (the value a watch saw kept too long) to `value`. False when the word
  // changed since: its holder was alive after all, or someone else took it over first.
  bool TakeOver(uint64_t abandoned, uint64_t value) { return Swap(abandoned, value); }
  uint64_t Peek() const { return word_.load(); }

  // A writer's wait: tries the word in 1 ms pauses and takes over an abandoned one (see
  // LockWaitLimits). True when the word now holds `value`; after a takeover `note` (when
  // given) says so in one line, otherwise it is cleared. False with `error` when the wait gave
  // up.
  bool AcquireWaiting(uint64_t value, const LockWaitLimits& limits, std::string* note,
                      std::string* error, const LockWatchHooks* hooks = nullptr);

 private:
  bool Swap(uint64_t expected, uint64_t desired) {
    return word_.compare_exchange_strong(expected, desired);
  }

  std::atomic_ref<uint64_t> word_;
};

// Releases a word taken with `value` when the scope ends, on every path out (by value: a word
// taken over meanwhile is left to the one that took it).
class ReleaseLockWordOnExit {
 public:
  ReleaseLockWordOnExit(BlockLockWord word, uint64_t value) : word_(word), value_(value) {}
  ReleaseLockWordOnExit(const ReleaseLockWordOnExit&) = delete;
  ReleaseLockWordOnExit& operator=(const ReleaseLockWordOnExit&) = delete;
  ~ReleaseLockWordOnExit() { word_.Release(value_); }

 private:
  BlockLockWord word_;
  uint64_t value_;
};

}  // namespace corvane
