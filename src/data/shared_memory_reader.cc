#include "src/data/shared_memory_reader.h"

#include <exception>
#include <utility>

#include "base/log/log_record.h"
#include "src/data/parse_json.h"

namespace corvane {
namespace {
constexpr char kLogSource[] = "src/data/shared_memory_reader";
}

const char* DescribeBlockRead(BlockRead read) {
  switch (read) {
    case BlockRead::kParsed:
      return "read";
    case BlockRead::kNotParsedWhole:
      return "read, but not parsed whole";
    case BlockRead::kNotOpen:
      return "the block is not open";
    case BlockRead::kLockHeld:
      return "its lock word was held";
    case BlockRead::kBadLength:
      return "its length was out of range";
    case BlockRead::kCopyFailed:
      return "its document could not be copied";
  }
  return "unknown";
}

BlockRead ReadPerfBlock(unsigned char* view, size_t size, uint64_t game_id,
                        const std::string& game_drive, PerfSnapshot& snapshot, UiStyle& style,
                        BlockHeaderValues& header) {
  if (view == nullptr) return BlockRead::kNotOpen;
  if (size < kHeaderSize) return BlockRead::kBadLength;
  // Held: try again at the next refresh.
  BlockLockWord lock_word(view);
  if (!lock_word.TryAcquire(kReaderLockValue)) return BlockRead::kLockHeld;
  const ReleaseLockWordOnExit release(lock_word, kReaderLockValue);

  header.enabled = LoadHeaderWord(view, kEnabledOffset) != 0;
  // A window handle shared with a 32-bit process holds 32 significant bits, and Windows widens
  // it by sign extension (0xFFFF1234 is the handle 0xFFFFFFFFFFFF1234), as done here.
  header.ipc_wnd = static_cast<uint64_t>(
      static_cast<int64_t>(static_cast<int32_t>(LoadHeaderWord(view, kIpcWindowOffset))));

  // A length the view cannot hold is refused like one out of range: the writer decides what it
  // puts there, and reading past the view would end this process.
  const size_t length = LoadHeaderWord(view, kLengthOffset);
  if (length == 0 || length > kMaxPayloadSize || length > size - kHeaderSize) {
    return BlockRead::kBadLength;
  }
  bool parsed = false;
  {
    std::string payload;
    try {
      payload.assign(reinterpret_cast<const char*>(view + kPayloadOffset), length);
    } catch (const std::exception&) {
      LOG_ERROR("SharedMemoryReader::Read header copy threw, releasing lock");
      return BlockRead::kCopyFailed;
    }
    parsed = ParseJson(payload, game_id, game_drive, snapshot, style);
  }  // the copy is freed before the lock
  return parsed ? BlockRead::kParsed : BlockRead::kNotParsedWhole;
}

SharedMemoryReader::SharedMemoryReader(std::string block_name)
    : block_name_(std::move(block_name)) {}

bool SharedMemoryReader::Open() {
  if (is_open()) return true;
  SharedMemoryMapping::Failure failure;
  if (!mapping_.OpenExisting(block_name_, &failure)) {
    if (failure.step == SharedMemoryMapping::Step::kOpen) {
      LOG_ERROR("SharedMemoryReader::Open OpenFileMapping failed: {}", failure.code);
    } else {
      LOG_ERROR("SharedMemoryReader::Open MapViewOfFile failed: {}", failure.code);
    }
    return false;
  }
  LOG_INFO("SharedMemoryReader::Open success");
  return true;
}

bool SharedMemoryReader::Read(uint64_t game_id, const std::string& game_drive,
                              PerfSnapshot& snapshot, UiStyle& style) {
  if (!is_open() && !Open()) {
    last_read_ = BlockRead::kNotOpen;
    return false;
  }
  // A host may commit the block's pages only after this process mapped it: until the view
  // holds a whole block, look at what may be touched again before each read.
  if (mapping_.size() < kPerfBlockSize) mapping_.RecheckSize();
  last_read_ = ReadPerfBlock(mapping_.data(), mapping_.size(), game_id, game_drive, snapshot, style,
                             header_);
  return last_read_ == BlockRead::kParsed;
}

}  // namespace corvane
