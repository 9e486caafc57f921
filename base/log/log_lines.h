#pragma once
// Record lines on their way to the text log, laid end to end in blocks of bytes: appending one
// is a copy into the current block, and the blocks are kept from one batch to the next, so a
// steady flow of records allocates nothing and a burst allocates one block per many lines.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace base {

class LogLines {
 public:
  // Each line is stored as its size (kSizeBytes, in the host's order) followed by its bytes.
  // A line too long for a block of kBlockSize gets a block of its own. A program that logs a
  // few records a second keeps one block; a burst allocates one per some 130 lines.
  static constexpr size_t kBlockSize = 16 * 1024;
  static constexpr size_t kSizeBytes = sizeof(uint32_t);
  // Kept after a burst: this many blocks of kBlockSize (256 KiB).
  static constexpr size_t kMostSpareBlocks = 16;

  LogLines() = default;
  LogLines(LogLines&&) noexcept = default;
  LogLines& operator=(LogLines&&) noexcept = default;

  void Append(std::string_view line);

  size_t count() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Calls `visit(std::string_view line)` for each line, oldest first.
  template <typename Visit>
  void ForEach(const Visit& visit) const {
    for (size_t b = 0; b < blocks_.size() && b <= current_; ++b) {
      const Block& block = blocks_[b];
      for (size_t at = 0; at < block.used;) {
        uint32_t size = 0;
        std::memcpy(&size, block.bytes.get() + at, kSizeBytes);
        at += kSizeBytes;
        visit(std::string_view(block.bytes.get() + at, size));
        at += size;
      }
    }
  }

  // Forgets the lines after they were written. Blocks beyond kMostSpareBlocks, and blocks made
  // for a single long line, are freed.
  void Recycle();

  // Blocks held, filled or spare; for tests.
  size_t blocks() const { return blocks_.size(); }

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t capacity = 0;
    size_t used = 0;
  };

  // The block to put `needed` more bytes in: the current one, the next spare one, or a new one.
  Block& BlockFor(size_t needed);

  std::vector<Block> blocks_;
  size_t current_ = 0;  // blocks_[0, current_] hold the lines
  size_t count_ = 0;
};

}  // namespace base
