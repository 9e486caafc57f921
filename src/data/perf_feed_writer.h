#pragma once
// The host's side of the performance block, for programs that publish figures to Corvane.
//
//   corvane::PerfFeedWriter writer;           // the block every overlay reads
//   std::string error;
//   if (!writer.Create(&error)) { ... }
//   writer.Publish(R"({"cpu": 23.5})", /*show=*/true, /*ipc_wnd=*/0, &error);
//
// Publish takes the block's lock word from 0 to non-zero with one compare-and-exchange, writes
// the header and the document, and sets the word back to 0. While an overlay holds the lock
// (it does for well under a millisecond), Publish pauses for a millisecond and tries again.
// A word that keeps one non-zero value for longer than 2 s was left by a process that died or
// froze while holding it: Publish takes it over from that value and says so in its note.
// Link the corvane_feed_writer library. On Windows the block exists only while some process
// has it open, so keep the writer alive while overlays should see the figures.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "src/data/perf_block.h"
#include "src/data/shared_memory_mapping.h"

namespace corvane {

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

// Takes the block's lock word for a writer, with the value `value`: waits for it in 1 ms pauses
// and takes over an abandoned one (see LockWaitLimits). True when the word is now `value`; after
// a takeover `note` (when given) says so in one line, otherwise it is cleared. False with
// `error` when the wait gave up.
bool AcquireBlockLock(void* view, uint64_t value, const LockWaitLimits& limits, std::string* note,
                      std::string* error);

class PerfFeedWriter {
 public:
  explicit PerfFeedWriter(std::string block_name = kPerfBlockName);
  PerfFeedWriter(const PerfFeedWriter&) = delete;
  PerfFeedWriter& operator=(const PerfFeedWriter&) = delete;

  // Creates the block with room for the largest document (or opens the one that exists).
  bool Create(std::string* error);
  // Publishes one document of at most 4096 bytes (a longer one is refused, never cut) with
  // the show flag and the host's IPC window handle. When it had to take over an abandoned lock
  // word, `note` (when given) holds one line that says so, to pass on to a person; otherwise it
  // is cleared. Gives up with an error when the word neither comes free nor is abandoned.
  bool Publish(std::string_view document, bool show, uint32_t ipc_wnd, std::string* error,
               std::string* note = nullptr, const LockWaitLimits& limits = {});
  void Close() { mapping_.Close(); }

  const std::string& block_name() const { return block_name_; }

  // Removes the block's name (POSIX; on Windows the block goes with its last handle).
  static bool Remove(const std::string& block_name, std::string* error);

 private:
  std::string block_name_;
  SharedMemoryMapping mapping_;
};

}  // namespace corvane
