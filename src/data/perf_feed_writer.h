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
// changed (a counter), and publish at least once a second: the overlays take a "seq" read
// unchanged at three refreshes in a row (about 2 to 3 s after the last publication) for a hung
// host and show their fallbacks until the "seq" changes. Publish sends the document as given;
// it adds no "seq".
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

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

  // Creates the block with room for the largest document (or opens the one that exists), on
  // Windows with the block's security descriptor (BlockSecurityDescriptorSddl). Refuses a name
  // that UsableBlockName refuses.
  bool Create(std::string* error);
  // Publishes one document of at most 4096 bytes (a longer one is refused, never cut) with
  // the show flag and the host's IPC window handle. When it had to take over an abandoned lock
  // word, `note` (when given) holds one line that says so, to pass on to a person; otherwise it
  // is cleared. Gives up with an error when the word neither comes free nor is abandoned, and
  // fails when another writer took the word over while this one held it (judging it dead): the
  // word is then left to that writer, and what this one wrote may be mixed with what it wrote.
  bool Publish(std::string_view document, bool show, uint32_t ipc_wnd, std::string* error,
               std::string* note = nullptr, const LockWaitLimits& limits = {});
  void Close() { mapping_.Close(); }

  const std::string& block_name() const { return block_name_; }
  // What this writer puts in the lock word while it holds it.
  uint64_t lock_value() const { return lock_value_; }
  // For tests: what the lock word's wait and Publish call at the points where another process
  // could act.
  void SetHooksForTest(LockWatchHooks hooks) { hooks_ = std::move(hooks); }

  // Removes the block's name (POSIX; on Windows the block goes with its last handle).
  static bool Remove(const std::string& block_name, std::string* error);

 private:
  std::string block_name_;
  uint64_t lock_value_;
  SharedMemoryMapping mapping_;
  LockWatchHooks hooks_;
};

}  // namespace corvane
