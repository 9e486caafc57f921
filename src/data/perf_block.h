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

// What each side writes into the lock word while it holds it. Every overlay takes the word
// with 1 and frees it with an exchange to 0. Each writer takes it with a value of its own: the
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

// One attempt: compare-and-exchange of the lock word from `from` to `to`.
inline bool SwapLockWord(void* view, uint64_t from, uint64_t to) {
  return BlockWord<uint64_t>(view, kLockOffset).compare_exchange_strong(from, to);
}

// One attempt: compare-and-exchange of the lock word from 0 to `value`.
inline bool TryLockBlock(void* view, uint64_t value) {
  return SwapLockWord(view, 0, value);
}

// The reader's release: an exchange with 0.
inline void UnlockBlock(void* view) {
  BlockWord<uint64_t>(view, kLockOffset).exchange(0);
}

inline uint64_t PeekLockWord(void* view) {
  return BlockWord<uint64_t>(view, kLockOffset).load();
}

inline uint32_t LoadHeaderWord(void* view, size_t offset) {
  return BlockWord<uint32_t>(view, offset).load(std::memory_order_relaxed);
}

inline void StoreHeaderWord(void* view, size_t offset, uint32_t value) {
  BlockWord<uint32_t>(view, offset).store(value, std::memory_order_relaxed);
}

// Frees the reader's lock word when the scope ends, on every path out.
class BlockLockGuard {
 public:
  explicit BlockLockGuard(void* view) : view_(view) {}
  BlockLockGuard(const BlockLockGuard&) = delete;
  BlockLockGuard& operator=(const BlockLockGuard&) = delete;
  ~BlockLockGuard() { UnlockBlock(view_); }

 private:
  void* view_;
};

}  // namespace corvane
