#include "base/os/win/scoped_resource.h"
#include "tools/corvane_feed/stop_signal.h"

namespace corvane::feed {

const bool kBlockLivesOnlyWhileOpen = true;
namespace {

HANDLE g_stop_event = nullptr;  // lives as long as the process

BOOL WINAPI OnConsoleEvent(DWORD) {
  SetEvent(g_stop_event);
  return TRUE;
}

}  // namespace

void CatchStopRequests() {
  g_stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool WaitForStop(uint32_t ms) {
  return WaitForSingleObject(g_stop_event, ms) == WAIT_OBJECT_0;
}

}  // namespace corvane::feed
