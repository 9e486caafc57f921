// A small helper for the script tests of windows in other processes:
//   window_probe post HWND MESSAGE WPARAM LPARAM   posts a message (numbers decimal or 0x hex)
//   window_probe foreground                        prints the foreground window, "0x<HEX>"
//   window_probe client HWND                       prints "X,Y W,H" of its client area on screen
//   window_probe owner HWND                        prints the id of the process that owns it
//   window_probe above HWND                        prints the window directly above it, "0x<HEX>"
//   window_probe find CLASS                        prints the first top-level window of that
//                                                  class, "0x<HEX>" (exit code 1: none)
//   window_probe crash HWND                        crashes the process that owns it (a thread
//                                                  started in it at an invalid address), waits
//                                                  for it to end and prints "exit=0x<CODE>"
//   window_probe raise HWND                        puts it at the top of its band, not activated
//   window_probe topmost X,Y W,H                   shows a topmost window there, prints
//                                                  "hwnd=0x<HEX>", and keeps it until killed
// Exit code 0; 1 when the call fails; 2 on a usage error.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/os/win/windows_types.h"

namespace {

bool ParseNumber(const char* text, uint64_t* out) {
  errno = 0;
  char* end = nullptr;
  *out = std::strtoull(text, &end, 0);
  return *text != '\0' && *text != '-' && *end == '\0' && errno == 0;
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: window_probe post HWND MESSAGE WPARAM LPARAM | foreground | client HWND | "
      "owner HWND | above HWND | raise HWND | find CLASS | crash HWND | topmost X,Y W,H\n");
  return 2;
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window, message, wparam, lparam);
}

// A visible topmost window that never takes the focus, as a taskbar or a tooltip is, kept
// until the process is ended.
int ShowTopmostWindow(const char* position, const char* size) {
  int x = 0, y = 0, width = 0, height = 0;
  if (std::sscanf(position, "%d,%d", &x, &y) != 2 ||
      std::sscanf(size, "%d,%d", &width, &height) != 2)
    return Usage();
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = PlainWindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  window_class.lpszClassName = L"WindowProbeTopmost";
  RegisterClassW(&window_class);
  const HWND window =
      CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                      window_class.lpszClassName, L"Topmost probe", WS_POPUP, x, y, width, height,
                      nullptr, nullptr, window_class.hInstance, nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "window_probe: CreateWindowEx failed (error %lu)\n", GetLastError());
    return 1;
  }
  ShowWindow(window, SW_SHOWNOACTIVATE);
  std::printf("hwnd=0x%" PRIXPTR "\n", reinterpret_cast<uintptr_t>(window));
  std::fflush(stdout);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

}  // namespace

// A real crash in a running program, as a fault of its own would be: a thread of its own that
// starts at an address where no code is.
int CrashOwnerOf(HWND window) {
  DWORD pid = 0;
  if (GetWindowThreadProcessId(window, &pid) == 0) {
    std::fprintf(stderr, "window_probe: not a window\n");
    return 1;
  }
  const HANDLE process =
      OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                      PROCESS_VM_READ | PROCESS_VM_WRITE | SYNCHRONIZE,
                  FALSE, pid);
  if (process == nullptr) {
    std::fprintf(stderr, "window_probe: OpenProcess failed (error %lu)\n", GetLastError());
    return 1;
  }
  constexpr uintptr_t kNoCode = 0x10;
  const HANDLE thread = CreateRemoteThread(
      process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(kNoCode), nullptr, 0, nullptr);
  if (thread == nullptr) {
    std::fprintf(stderr, "window_probe: CreateRemoteThread failed (error %lu)\n", GetLastError());
    CloseHandle(process);
    return 1;
  }
  CloseHandle(thread);
  DWORD code = 0;
  const bool ended = WaitForSingleObject(process, 60000) == WAIT_OBJECT_0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  if (!ended) {
    std::fprintf(stderr, "window_probe: the process did not end\n");
    return 1;
  }
  std::printf("exit=0x%08lX\n", code);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "post") == 0) {
    uint64_t window = 0, message = 0, wparam = 0, lparam = 0;
    if (!ParseNumber(argv[2], &window) || !ParseNumber(argv[3], &message) ||
        !ParseNumber(argv[4], &wparam) || !ParseNumber(argv[5], &lparam)) {
      return Usage();
    }
    if (!PostMessageW(reinterpret_cast<HWND>(static_cast<uintptr_t>(window)),
                      static_cast<UINT>(message), static_cast<WPARAM>(wparam),
                      static_cast<LPARAM>(lparam))) {
      std::fprintf(stderr, "window_probe: PostMessage failed (error %lu)\n", GetLastError());
      return 1;
    }
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "foreground") == 0) {
    std::printf("0x%" PRIXPTR "\n", reinterpret_cast<uintptr_t>(GetForegroundWindow()));
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "find") == 0) {
    wchar_t name[256] = {};
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, name, 255);
    const HWND found = FindWindowW(name, nullptr);
    if (found == nullptr) return 1;
    std::printf("0x%" PRIXPTR "\n", reinterpret_cast<uintptr_t>(found));
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "topmost") == 0) return ShowTopmostWindow(argv[2], argv[3]);
  uint64_t window = 0;
  if (argc != 3 || !ParseNumber(argv[2], &window)) return Usage();
  const HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
  if (std::strcmp(argv[1], "client") == 0) {
    RECT client;
    POINT origin = {0, 0};
    if (!GetClientRect(hwnd, &client) || !ClientToScreen(hwnd, &origin)) {
      std::fprintf(stderr, "window_probe: not a window\n");
      return 1;
    }
    std::printf("%ld,%ld %ld,%ld\n", origin.x, origin.y, client.right, client.bottom);
    return 0;
  }
  if (std::strcmp(argv[1], "above") == 0) {
    if (!IsWindow(hwnd)) {
      std::fprintf(stderr, "window_probe: not a window\n");
      return 1;
    }
    std::printf("0x%" PRIXPTR "\n", reinterpret_cast<uintptr_t>(GetWindow(hwnd, GW_HWNDPREV)));
    return 0;
  }
  if (std::strcmp(argv[1], "crash") == 0) return CrashOwnerOf(hwnd);
  if (std::strcmp(argv[1], "raise") == 0) {
    if (!SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE)) {
      std::fprintf(stderr, "window_probe: SetWindowPos failed (error %lu)\n", GetLastError());
      return 1;
    }
    return 0;
  }
  if (std::strcmp(argv[1], "owner") == 0) {
    DWORD pid = 0;
    if (GetWindowThreadProcessId(hwnd, &pid) == 0) {
      std::fprintf(stderr, "window_probe: not a window\n");
      return 1;
    }
    std::printf("%lu\n", pid);
    return 0;
  }
  return Usage();
}
