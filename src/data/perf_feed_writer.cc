#include "src/data/perf_feed_writer.h"

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace corvane {
namespace {

void SetError(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
}

}  // namespace

PerfFeedWriter::PerfFeedWriter(std::string block_name) : block_name_(std::move(block_name)) {}

bool PerfFeedWriter::Create(std::string* error) {
  SharedMemoryMapping::Failure failure;
  if (mapping_.CreateOrOpen(block_name_, kPerfBlockSize, &failure)) return true;
  const char* call = failure.step == SharedMemoryMapping::Step::kOpen ? "create" : "map";
  SetError(error, "cannot " + std::string(call) + " the block \"" + block_name_ +
                      "\": system error " + std::to_string(failure.code));
  return false;
}

bool PerfFeedWriter::Publish(std::string_view document, bool show, uint32_t ipc_wnd,
                             std::string* error, uint32_t lock_timeout_ms) {
  unsigned char* const view = mapping_.data();
  if (view == nullptr) {
    SetError(error, "the block is not created");
    return false;
  }
  if (document.size() > kMaxPayloadSize) {
    SetError(error, "the document has " + std::to_string(document.size()) +
                        " bytes; the block takes at most " + std::to_string(kMaxPayloadSize));
    return false;
  }
  if (kHeaderSize + document.size() > mapping_.size()) {
    SetError(error, "the block \"" + block_name_ + "\" holds only " +
                        std::to_string(mapping_.size()) + " bytes");
    return false;
  }

  // A reader holds the lock only while it copies and parses; pause, never spin.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(lock_timeout_ms);
  while (!TryLockBlock(view, kWriterLockValue)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      SetError(error, "the block's lock word stayed held for " + std::to_string(lock_timeout_ms) +
                          " ms (value " + std::to_string(PeekLockWord(view)) + ")");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const BlockLockGuard unlock(view);
  StoreHeaderWord(view, kEnabledOffset, show ? 1 : 0);
  StoreHeaderWord(view, kLengthOffset, static_cast<uint32_t>(document.size()));
  StoreHeaderWord(view, kIpcWindowOffset, ipc_wnd);
  if (!document.empty()) std::memcpy(view + kPayloadOffset, document.data(), document.size());
  return true;
}

bool PerfFeedWriter::Remove(const std::string& block_name, std::string* error) {
  uint32_t code = 0;
  if (SharedMemoryMapping::Remove(block_name, &code)) return true;
  SetError(error,
           "cannot remove the block \"" + block_name + "\": system error " + std::to_string(code));
  return false;
}

}  // namespace corvane
