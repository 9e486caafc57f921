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
// Link the corvane_feed_writer library. On Windows the block exists only while some process
// has it open, so keep the writer alive while overlays should see the figures.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "src/data/perf_block.h"
#include "src/data/shared_memory_mapping.h"

namespace corvane {

class PerfFeedWriter {
 public:
  explicit PerfFeedWriter(std::string block_name = kPerfBlockName);
  PerfFeedWriter(const PerfFeedWriter&) = delete;
  PerfFeedWriter& operator=(const PerfFeedWriter&) = delete;

  // Creates the block with room for the largest document (or opens the one that exists).
  bool Create(std::string* error);
  // Publishes one document of at most 4096 bytes (a longer one is refused, never cut) with
  // the show flag and the host's IPC window handle. Gives up with an error when the lock stays
  // held for longer than `lock_timeout_ms`, as it does when a writer died holding it.
  bool Publish(std::string_view document, bool show, uint32_t ipc_wnd, std::string* error,
               uint32_t lock_timeout_ms = 2000);
  void Close() { mapping_.Close(); }

  const std::string& block_name() const { return block_name_; }

  // Removes the block's name (POSIX; on Windows the block goes with its last handle).
  static bool Remove(const std::string& block_name, std::string* error);

 private:
  std::string block_name_;
  SharedMemoryMapping mapping_;
};

}  // namespace corvane
