#include "src/data/shared_memory_reader.h"

#include <exception>
#include <utility>

#include "base/log/log_record.h"
#include "src/data/parse_json.h"

namespace corvane {
namespace {
constexpr char kLogSource[] = "src/data/shared_memory_reader";
}

bool ReadPerfBlock(unsigned char* view, size_t size, uint64_t game_id,
                   const std::string& game_drive, PerfSnapshot& snapshot, UiStyle& style,
                   BlockHeaderValues& header) {
  if (view == nullptr || size < kHeaderSize) return false;
  if (!TryLockBlock(view, kReaderLockValue)) return false;  // held: try again next refresh
  const BlockLockGuard unlock(view);

  header.enabled = LoadHeaderWord(view, kEnabledOffset) != 0;
  header.ipc_wnd = LoadHeaderWord(view, kIpcWindowOffset);

  // A length the view cannot hold is refused like one out of range: the writer decides what it
  // puts there, and reading past the view would end this process.
  const size_t length = LoadHeaderWord(view, kLengthOffset);
  if (length == 0 || length > kMaxPayloadSize || length > size - kHeaderSize) return false;
  bool parsed = false;
  {
    std::string payload;
    try {
      payload.assign(reinterpret_cast<const char*>(view + kPayloadOffset), length);
    } catch (const std::exception&) {
      LOG_ERROR("SharedMemoryReader::Read header copy threw, releasing lock");
      return false;
    }
    parsed = ParseJson(payload, game_id, game_drive, snapshot, style);
  }  // the copy is freed before the lock
  return parsed;
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
  if (!is_open() && !Open()) return false;
  // A host may commit the block's pages only after this process mapped it: until the view
  // holds a whole block, look at what may be touched again before each read.
  if (mapping_.size() < kPerfBlockSize) mapping_.RecheckSize();
  return ReadPerfBlock(mapping_.data(), mapping_.size(), game_id, game_drive, snapshot, style,
                       header_);
}

}  // namespace corvane
