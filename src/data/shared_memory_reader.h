#pragma once
// The overlay's side of the performance block: opens the host's block by name, and once a
// second takes its lock word with one attempt, copies the header values and the document,
// parses it into the two records and frees the lock on every path. It never creates, resizes
// or waits for the block.
#include <cstddef>
#include <cstdint>
#include <string>

#include "src/data/perf_block.h"
#include "src/data/perf_snapshot.h"
#include "src/data/shared_memory_mapping.h"

namespace corvane {

// The header values one read takes, under the lock, before the payload is looked at.
struct BlockHeaderValues {
  bool enabled = false;
  uint64_t ipc_wnd = 0;
};

// How one read of the block went. Only the first two read a document; the others left the
// records as they were.
enum class BlockRead {
  kParsed,          // the document was parsed whole
  kNotParsedWhole,  // read, but its parse stopped part-way (some fields may have been updated)
  kNotOpen,         // there is no block to read (not there, or not mapped)
  kLockHeld,        // its lock word was held by someone else
  kBadLength,       // the header's length is not 1 to 4096 or runs past the view
  kCopyFailed,      // the document could not be copied
};

// A few words on why a read read nothing, for the log.
const char* DescribeBlockRead(BlockRead read);

// One read of a mapped block of `size` bytes: one try at the lock (kLockHeld when someone else
// holds it, leaving everything as it was), the header values into `header`, then a payload of
// 1 to 4096 bytes that lies inside the view is copied and parsed. The lock word is 0 again
// when this returns, whichever way.
BlockRead ReadPerfBlock(unsigned char* view, size_t size, uint64_t game_id,
                        const std::string& game_drive, PerfSnapshot& snapshot, UiStyle& style,
                        BlockHeaderValues& header);

class SharedMemoryReader {
 public:
  // `block_name` is for tests and tools; the overlay reads the host's block.
  explicit SharedMemoryReader(std::string block_name = kPerfBlockName);
  ~SharedMemoryReader() { Close(); }
  SharedMemoryReader(const SharedMemoryReader&) = delete;
  SharedMemoryReader& operator=(const SharedMemoryReader&) = delete;

  // Maps the block unless it is mapped already. True when it is mapped.
  bool Open();
  // One refresh (opening the block first when needed). True only when a payload was copied
  // and parsed whole; last_read() says how it went.
  bool Read(uint64_t game_id, const std::string& game_drive, PerfSnapshot& snapshot,
            UiStyle& style);
  BlockRead last_read() const { return last_read_; }
  // Unmaps and closes; any number of times.
  void Close() { mapping_.Close(); }

  bool is_open() const { return mapping_.data() != nullptr; }
  // The host's IPC window, as the last read that took the lock found it (the header's 32 bits,
  // sign-extended as Windows widens a handle); 0 until then.
  uint64_t ipc_wnd() const { return header_.ipc_wnd; }
  // Whether the host says to show the overlay, as of the last read that took the lock.
  bool enabled() const { return header_.enabled; }

 private:
  std::string block_name_;
  SharedMemoryMapping mapping_;
  BlockHeaderValues header_;
  BlockRead last_read_ = BlockRead::kNotOpen;
};

}  // namespace corvane
