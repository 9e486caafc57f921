#pragma once
// Windows for the Win32 tests: a stand-in game window filled with one colour, message pumping
// for a while, and a capture of part of the screen as it is shown.
#include <cstdint>
#include <vector>

#include "base/os/win/scoped_resource.h"

namespace corvane::testing {

// A visible top-level window of this process, painted in one colour. Destroyed with the object.
class TestGameWindow {
 public:
  TestGameWindow(int x, int y, int width, int height, COLORREF color,
                 DWORD style = WS_POPUP | WS_VISIBLE);
  ~TestGameWindow();
  TestGameWindow(const TestGameWindow&) = delete;
  TestGameWindow& operator=(const TestGameWindow&) = delete;

  HWND hwnd() const { return window_.get(); }
  // Destroys the window now (the handle then names no window).
  void Close() { window_.reset(); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam) noexcept;
  base::win::ScopedWindow window_;
};

// Dispatches the thread's messages for `ms` milliseconds. A quit message is put back.
void PumpFor(int ms);

// The screen pixels of a rectangle as 0x00RRGGBB, row by row.
struct Capture {
  int x = 0, y = 0, width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int screen_x, int screen_y) const {
    return pixels[static_cast<size_t>(screen_y - y) * width + (screen_x - x)];
  }
};
Capture CaptureScreen(int x, int y, int width, int height);

inline int Red(uint32_t rgb) {
  return (rgb >> 16) & 0xFF;
}
inline int Green(uint32_t rgb) {
  return (rgb >> 8) & 0xFF;
}
inline int Blue(uint32_t rgb) {
  return rgb & 0xFF;
}
inline uint32_t Rgb(int r, int g, int b) {
  return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
         static_cast<uint32_t>(b);
}
// True when every channel differs by at most `tolerance`.
bool Near(uint32_t a, uint32_t b, int tolerance);

}  // namespace corvane::testing
