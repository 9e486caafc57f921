#include <cerrno>
#include <csignal>
#include <ctime>

#include "tools/corvane_feed/stop_signal.h"

namespace corvane::feed {

const bool kBlockLivesOnlyWhileOpen = false;
namespace {
sigset_t g_stop_signals;
}

void CatchStopRequests() {
  // Blocked, and taken only while waiting: the wait is the one place a stop can arrive.
  sigemptyset(&g_stop_signals);
  sigaddset(&g_stop_signals, SIGINT);
  sigaddset(&g_stop_signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &g_stop_signals, nullptr);
}

bool WaitForStop(uint32_t ms) {
  timespec timeout{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (true) {
    if (sigtimedwait(&g_stop_signals, nullptr, &timeout) > 0) return true;
    if (errno == EAGAIN) return false;
    // EINTR from another signal: the remaining time is not reported, so wait the rest again
    // only roughly; a stop still ends the wait at once.
  }
}

}  // namespace corvane::feed
