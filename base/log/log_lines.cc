#include "base/log/log_lines.h"

#include <algorithm>

namespace base {

void LogLines::Append(std::string_view line) {
  line = line.substr(0, UINT32_MAX);  // the size field's limit
  const size_t needed = kSizeBytes + line.size();
  Block& block = BlockFor(needed);
  char* at = block.bytes.get() + block.used;
  const auto size = static_cast<uint32_t>(line.size());
  std::memcpy(at, &size, kSizeBytes);
  std::memcpy(at + kSizeBytes, line.data(), line.size());
  block.used += needed;
  ++count_;
}

LogLines::Block& LogLines::BlockFor(size_t needed) {
  if (!blocks_.empty() && blocks_[current_].capacity - blocks_[current_].used >= needed) {
    return blocks_[current_];
  }
  if (!blocks_.empty() && blocks_[current_].used != 0) ++current_;
  // A spare block of the usual size serves when the line fits in one.
  if (current_ < blocks_.size() && blocks_[current_].capacity >= needed) return blocks_[current_];
  Block block;
  block.capacity = std::max(kBlockSize, needed);
  block.bytes = std::make_unique_for_overwrite<char[]>(block.capacity);
  if (current_ < blocks_.size()) {
    // The spare block here is too small for this line: the new one goes before it.
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(current_), std::move(block));
  } else {
    blocks_.push_back(std::move(block));
  }
  return blocks_[current_];
}

void LogLines::Recycle() {
  size_t kept = 0;
  for (size_t i = 0; i < blocks_.size(); ++i) {
    if (blocks_[i].capacity != kBlockSize || kept == kMostSpareBlocks) continue;
    blocks_[i].used = 0;
    if (i != kept) blocks_[kept] = std::move(blocks_[i]);
    ++kept;
  }
  blocks_.resize(kept);
  current_ = 0;
  count_ = 0;
}

}  // namespace base
