#include "src/data/perf_feed_writer.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <utility>

namespace corvane {
namespace {

void SetText(std::string* out, std::string text) {
  if (out != nullptr) *out = std::move(text);
}

}  // namespace

bool DocumentFitsBlock(size_t size, std::string_view what, std::string* error) {
  if (size <= kMaxPayloadSize) return true;
  SetText(error, std::string(what) + " has " + std::to_string(size) +
                     " bytes; the block takes at most " + std::to_string(kMaxPayloadSize));
  return false;
}

bool UsableBlockName(std::string_view name, std::string* error) {
  if (!name.empty() && name.find('/') == std::string_view::npos) return true;
  SetText(error, "a block name is not empty and holds no '/', not '" + std::string(name) + "'");
  return false;
}

namespace {

// Told apart from every other writer of this process, whatever thread makes it. The count
// starts where the clock says rather than at 1, so that a process that gets the id of one that
// died holding the word is all but sure to lock with another value: taking over a word that
// holds one's own value would change nothing that another watcher could see.
uint32_t NextWriterNumber() {
  static std::atomic<uint32_t> last{
      static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
  return ++last;
}

}  // namespace

PerfFeedWriter::PerfFeedWriter(std::string block_name)
    : block_name_(std::move(block_name)),
      lock_value_(WriterLockValue(CurrentProcessId(), NextWriterNumber())) {}

bool PerfFeedWriter::Create(std::string* error) {
  if (!UsableBlockName(block_name_, error)) return false;
  SharedMemoryMapping::Failure failure;
  if (mapping_.CreateOrOpen(block_name_, kPerfBlockSize, &failure)) return true;
  const char* call = failure.step == SharedMemoryMapping::Step::kOpen ? "create" : "map";
  SetText(error, "cannot " + std::string(call) + " the block \"" + block_name_ +
                     "\": system error " + std::to_string(failure.code));
  return false;
}

bool PerfFeedWriter::Publish(std::string_view document, bool show, uint32_t ipc_wnd,
                             std::string* error, std::string* note, const LockWaitLimits& limits) {
  SetText(note, "");
  unsigned char* const view = mapping_.data();
  if (view == nullptr) {
    SetText(error, "the block is not created");
    return false;
  }
  if (!DocumentFitsBlock(document.size(), "the document", error)) return false;
  if (kHeaderSize + document.size() > mapping_.size()) {
    SetText(error, "the block \"" + block_name_ + "\" holds only " +
                       std::to_string(mapping_.size()) + " bytes");
    return false;
  }

  BlockLockWord word(view);
  if (!word.AcquireWaiting(lock_value_, limits, note, error, &hooks_)) return false;
  // Nothing between the lock and its release can throw.
  StoreHeaderWord(view, kEnabledOffset, show ? 1 : 0);
  StoreHeaderWord(view, kLengthOffset, static_cast<uint32_t>(document.size()));
  StoreHeaderWord(view, kIpcWindowOffset, ipc_wnd);
  if (!document.empty()) std::memcpy(view + kPayloadOffset, document.data(), document.size());
  if (hooks_.while_held) hooks_.while_held();
  if (word.Release(lock_value_)) return true;
  SetText(error,
          "another writer took the block's lock word over while this one held it (it holds " +
              std::to_string(word.Peek()) +
              " now); left as it is: the document may not have been published whole");
  return false;
}

bool PerfFeedWriter::Remove(const std::string& block_name, std::string* error) {
  uint32_t code = 0;
  if (SharedMemoryMapping::Remove(block_name, &code)) return true;
  SetText(error,
          "cannot remove the block \"" + block_name + "\": system error " + std::to_string(code));
  return false;
}

}  // namespace corvane
