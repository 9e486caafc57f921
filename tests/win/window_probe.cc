// A small helper for the script tests of windows in other processes:
//   window_probe post HWND MESSAGE WPARAM LPARAM   posts a message (numbers decimal or 0x hex)
//   window_probe foreground                        prints the foreground window, "0x<HEX>"
//   window_probe client HWND                       prints "X,Y W,H" of its client area on screen
//   window_probe owner HWND                        prints the id of the process that owns it
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
  std::fprintf(stderr,
               "usage: window_probe post HWND MESSAGE WPARAM LPARAM | foreground | client HWND | "
               "owner HWND\n");
  return 2;
}

}  // namespace

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
