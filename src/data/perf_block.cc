#include "src/data/perf_block.h"

#include <chrono>
#include <thread>

namespace corvane {
namespace {

void SetText(std::string* out, std::string text) {
  if (out != nullptr) *out = std::move(text);
}

std::string Milliseconds(std::chrono::steady_clock::duration span) {
  return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(span).count());
}

void Call(const LockWatchHooks* hooks, std::function<void()> LockWatchHooks::*hook) {
  if (hooks != nullptr && hooks->*hook) (hooks->*hook)();
}

}  // namespace

bool BlockLockWord::AcquireWaiting(uint64_t value, const LockWaitLimits& limits, std::string* note,
                                   std::string* error, const LockWatchHooks* hooks) {
  using Clock = std::chrono::steady_clock;
  SetText(note, "");
  const auto start = Clock::now();
  const auto takeover_after = std::chrono::milliseconds(limits.takeover_after_ms);
  const auto give_up_after = std::chrono::milliseconds(limits.give_up_after_ms);
  const auto longest_unwatched = std::chrono::milliseconds(kLongestUnwatchedMs);
  // The value the word has held, unbroken as far as we saw, since `watch_start`.
  uint64_t watched = 0;
  auto watch_start = start;
  auto last_look = start;
  while (!TryAcquire(value)) {
    const uint64_t seen = Peek();
    const auto now = Clock::now();
    Call(hooks, &LockWatchHooks::after_look);
    if (seen != watched || now - last_look > longest_unwatched) {
      watched = seen;
      watch_start = now;
    } else if (seen != 0 && now - watch_start > takeover_after) {
      // Its holder is gone or frozen. Only that exact value is replaced: if someone freed or
      // took the word meanwhile, the swap fails and the watch starts again.
      Call(hooks, &LockWatchHooks::before_takeover);
      if (TakeOver(seen, value)) {
        SetText(note, "took over the block's lock word, which had held " + std::to_string(seen) +
                          " without a break for " + Milliseconds(now - watch_start) +
                          " ms (its holder died or froze)");
        return true;
      }
      watch_start = now;
    }
    last_look = now;
    if (now - start >= give_up_after) {
      SetText(error, "the block's lock word stayed held for " + Milliseconds(now - start) +
                         " ms (value " + std::to_string(seen) + ")");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));  // pause, never spin
  }
  return true;
}

}  // namespace corvane
