#include "src/data/perf_feed_writer.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace corvane {
namespace {

void SetText(std::string* out, std::string text) {
  if (out != nullptr) *out = std::move(text);
}

std::string Milliseconds(std::chrono::steady_clock::duration span) {
  return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(span).count());
}

}  // namespace

bool AcquireBlockLock(void* view, uint64_t value, const LockWaitLimits& limits, std::string* note,
                      std::string* error) {
  using Clock = std::chrono::steady_clock;
  SetText(note, "");
  const auto start = Clock::now();
  const auto takeover_after = std::chrono::milliseconds(limits.takeover_after_ms);
  const auto give_up_after = std::chrono::milliseconds(limits.give_up_after_ms);
  // The value the word has held, unbroken as far as we saw, since `watch_start`.
  uint64_t watched = 0;
  auto watch_start = start;
  while (!TryLockBlock(view, value)) {
    const uint64_t seen = PeekLockWord(view);
    const auto now = Clock::now();
    if (seen != watched) {
      watched = seen;
      watch_start = now;
    } else if (seen != 0 && now - watch_start > takeover_after) {
      // Its holder is gone or frozen. Only that exact value is replaced: if someone freed or
      // took the word meanwhile, the exchange fails and the watch starts again.
      if (SwapLockWord(view, seen, value)) {
        SetText(note, "took over the block's lock word, which had held " + std::to_string(seen) +
                          " without a break for " + Milliseconds(now - watch_start) +
                          " ms (its holder died or froze)");
        return true;
      }
      watch_start = now;
    }
    if (now - start >= give_up_after) {
      SetText(error, "the block's lock word stayed held for " + Milliseconds(now - start) +
                         " ms (value " + std::to_string(seen) + ")");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));  // pause, never spin
  }
  return true;
}

bool ReleaseBlockLock(void* view, uint64_t value, std::string* error) {
  if (SwapLockWord(view, value, 0)) return true;
  SetText(error,
          "another writer took the block's lock word over while this one held it (it "
          "holds " +
              std::to_string(PeekLockWord(view)) +
              " now); left as it is: the document may not have been published whole");
  return false;
}

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

  if (!AcquireBlockLock(view, lock_value_, limits, note, error)) return false;
  // Nothing between the lock and its release can throw.
  StoreHeaderWord(view, kEnabledOffset, show ? 1 : 0);
  StoreHeaderWord(view, kLengthOffset, static_cast<uint32_t>(document.size()));
  StoreHeaderWord(view, kIpcWindowOffset, ipc_wnd);
  if (!document.empty()) std::memcpy(view + kPayloadOffset, document.data(), document.size());
  return ReleaseBlockLock(view, lock_value_, error);
}

bool PerfFeedWriter::Remove(const std::string& block_name, std::string* error) {
  uint32_t code = 0;
  if (SharedMemoryMapping::Remove(block_name, &code)) return true;
  SetText(error,
          "cannot remove the block \"" + block_name + "\": system error " + std::to_string(code));
  return false;
}

}  // namespace corvane
