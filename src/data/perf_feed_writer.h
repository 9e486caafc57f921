#pragma once
// The host's side of the performance block, for programs that publish figures to Corvane.
//
//   corvane::PerfFeedWriter writer;           // the block every overlay reads
//   std::string error;
//   if (!writer.Create(&error)) { ... }
//   writer.Publish(R"({"cpu": 23.5})", /*show=*/true, /*ipc_wnd=*/0, &error);
//
// Publish takes the block's lock word from 0 to this writer's own value with one
// compare-and-exchange, writes the header and the document, and sets the word back to 0 with a
// compare-and-exchange from its value. While an overlay holds the lock (it does for well under
// a millisecond), Publish pauses for a millisecond and tries again. A word that keeps one
// non-zero value for longer than 2 s was left by a process that died or froze while holding
// it: Publish takes it over from that value and says so in its note.
// Link the corvane_feed_writer library. On Windows the block exists only while some process
// has it open, so keep the writer alive while overlays should see the figures.
//
// Give every document a top-level "seq" that changes at every publication, also when no figure
// changed (a counter), and publish at least once a second: the overlays take a "seq" that stays
// the same over three refreshes for a hung host and show their fallbacks. Publish sends the
// document as given; it adds no "seq".
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "src/data/perf_block.h"
#include "src/data/shared_memory_mapping.h"

namespace corvane {

// The value a writer locks with: the writer bit, the process id (its top bit dropped; process
// ids do not reach it) and a number of the writer's own within the process. Never 0, 1 (an
// overlay's) or 2 (the constant of older hosts), whatever the numbers.
inline constexpr uint64_t kWriterLockBit = uint64_t{1} << 63;
constexpr uint64_t WriterLockValue(uint32_t process_id, uint32_t writer_number) {
  return kWriterLockBit | (uint64_t{process_id & 0x7FFFFFFFu} << 32) | writer_number;
}

// How long a writer waits for a held lock word.
struct LockWaitLimits {
  // A word that has kept one non-zero value without a break for longer than this is abandoned
  // (a reader holds it for well under a millisecond, a writer for a few microseconds) and is
  // taken over with one compare-and-exchange from that value. A change restarts the watch.
  uint32_t takeover_after_ms = 2000;
  // The wait ends with an error when the word was neither free nor abandoned in this time: it
  // kept changing hands without ever coming free.
  uint32_t give_up_after_ms = 5000;
};

// Takes the block's lock word for a writer, with its own value `value` (WriterLockValue): waits
// for it in 1 ms pauses and takes over an abandoned one (see LockWaitLimits) with one
// compare-and-exchange from the value it watched. True when the word is now `value`; after a
// takeover `note` (when given) says so in one line, otherwise it is cleared. False with `error`
// when the wait gave up.
bool AcquireBlockLock(void* view, uint64_t value, const LockWaitLimits& limits, std::string* note,
                      std::string* error);

// Frees the word with one compare-and-exchange from `value` to 0. When the word no longer holds
// `value` (another writer took it over, judging this one dead), it is left as it is, and false
// with `error` says so: what was written meanwhile may have been mixed with that writer's.
bool ReleaseBlockLock(void* view, uint64_t value, std::string* error);

// The rules of the block for what a writer publishes and where, for every front end (the C
// interface, corvane-feed) to ask before it goes on.
// A document fits when it has at most kMaxPayloadSize (4096) bytes: it is refused, never cut.
// False with "<what> has N bytes; the block takes at most 4096" in `error`.
bool DocumentFitsBlock(size_t size, std::string_view what, std::string* error);
// A block name is usable when it is not empty and holds no '/' (a POSIX shared-memory name is
// one "/" and the name). False with one line in `error`.
bool UsableBlockName(std::string_view name, std::string* error);

class PerfFeedWriter {
 public:
  // Each writer gets its own lock value: this process's id and a number no other writer of
  // the process has.
  explicit PerfFeedWriter(std::string block_name = kPerfBlockName);
  PerfFeedWriter(const PerfFeedWriter&) = delete;
  PerfFeedWriter& operator=(const PerfFeedWriter&) = delete;

  // Creates the block with room for the largest document (or opens the one that exists).
  // Refuses a name that UsableBlockName refuses.
  bool Create(std::string* error);
  // Publishes one document of at most 4096 bytes (a longer one is refused, never cut) with
  // the show flag and the host's IPC window handle. When it had to take over an abandoned lock
  // word, `note` (when given) holds one line that says so, to pass on to a person; otherwise it
  // is cleared. Gives up with an error when the word neither comes free nor is abandoned, and
  // fails when another writer took the word over while this one held it (ReleaseBlockLock).
  bool Publish(std::string_view document, bool show, uint32_t ipc_wnd, std::string* error,
               std::string* note = nullptr, const LockWaitLimits& limits = {});
  void Close() { mapping_.Close(); }

  const std::string& block_name() const { return block_name_; }
  // What this writer puts in the lock word while it holds it.
  uint64_t lock_value() const { return lock_value_; }

  // Removes the block's name (POSIX; on Windows the block goes with its last handle).
  static bool Remove(const std::string& block_name, std::string* error);

 private:
  std::string block_name_;
  uint64_t lock_value_;
  SharedMemoryMapping mapping_;
};

}  // namespace corvane
