#pragma once
// Overlay window calls that count themselves and then do the real thing.
#include <vector>

#include "src/window/overlay_window.h"

namespace corvane::testing {

struct WindowCallCounts {
  int set_window_pos = 0;
  int update_layered_window = 0;
  std::vector<HWND> insert_after;  // of each SetWindowPos, in order
};

inline WindowCallCounts g_window_calls;

// The real calls, counted in g_window_calls, which starts again from zero.
inline OverlayWindowCalls CountingWindowCalls() {
  g_window_calls = {};
  OverlayWindowCalls calls;
  calls.set_window_pos = [](HWND window, HWND after, int x, int y, int cx, int cy,
                            UINT flags) -> BOOL {
    ++g_window_calls.set_window_pos;
    g_window_calls.insert_after.push_back(after);
    return SetWindowPos(window, after, x, y, cx, cy, flags);
  };
  calls.update_layered_window = [](HWND window, HDC dst, POINT* point, SIZE* size, HDC src,
                                   POINT* src_point, COLORREF key, BLENDFUNCTION* blend,
                                   DWORD flags) -> BOOL {
    ++g_window_calls.update_layered_window;
    return UpdateLayeredWindow(window, dst, point, size, src, src_point, key, blend, flags);
  };
  return calls;
}

}  // namespace corvane::testing
