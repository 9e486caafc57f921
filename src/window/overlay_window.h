#pragma once
// The overlay: one borderless, layered (per-pixel alpha), click-through, never-activated tool
// window without a taskbar button, kept directly above the game window (topmost only while the
// game is). Its pixels come only from the bitmap that Render paints. The process-wide start and
// stop of GDI+ live here too.
#include <cstdint>
#include <optional>
#include <string>

#include "base/os/win/scoped_resource.h"
#include "src/window/gdiplus_text.h"
#include "src/window/render_cache.h"
#include "src/window/text_layout.h"

namespace corvane {

inline constexpr wchar_t kOverlayClassName[] = L"CorvaneWindow";
inline constexpr wchar_t kOverlayTitle[] = L"Corvane";
inline constexpr DWORD kOverlayExStyle =
    WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
inline constexpr DWORD kOverlayStyle = WS_POPUP;

// The calls that move the window on screen, replaceable so that tests can count them.
struct OverlayWindowCalls {
  decltype(&::SetWindowPos) set_window_pos = &::SetWindowPos;
  decltype(&::UpdateLayeredWindow) update_layered_window = &::UpdateLayeredWindow;
};

class OverlayWindow {
 public:
  explicit OverlayWindow(OverlayWindowCalls calls = {}) : calls_(calls) {}
  ~OverlayWindow() { Destroy(); }
  OverlayWindow(const OverlayWindow&) = delete;
  OverlayWindow& operator=(const OverlayWindow&) = delete;

  // Process-wide, around the whole life of every window: fonts and bitmaps exist only while
  // GDI+ is started. Shutdown without a successful start does nothing.
  static bool StartupGdiplus();
  static void ShutdownGdiplus();

  // Registers the class and creates the hidden window; false when the window does not exist.
  bool Create(int width, int height);
  // Releases font, family, bitmap, memory DC and window, in that order, and unregisters the
  // class. Safe to call again, and after a failed Create.
  void Destroy();

  void Show(bool show);
  bool IsVisible() const;
  // Runs the thread's pending messages; false once a quit message was taken.
  bool PumpMessages();
  // Puts the overlay directly above `game` in the z-order, unless it already is, without
  // making it topmost unless the game is (see z_order.h).
  void KeepAbove(HWND game);

  // The font of `family` at `logical_px` (96 DPI pixels) scaled to `dpi` (96 when it is not
  // above 0).
  void SetFont(const std::wstring& family, int logical_px, int dpi);
  // Paints the runs, with the frame-time graph under them when it is shown, on the box (at
  // least `least_width` wide) at background opacity `alpha` and shows the result with its
  // top-left corner at (x, y) on screen. Repaints only when needed (see RenderCache).
  void Render(const TextSegment* segments, int count, const FrameGraph& graph, int x, int y,
              uint8_t alpha, int least_width = 0);
  // The next Render paints anew.
  void MarkDirty() { cache_.MarkDirty(); }

  HWND hwnd() const { return window_.get(); }
  int font_px() const { return font_px_; }
  const RenderCache& render_cache() const { return cache_; }
  Gdiplus::GpFont* font() const { return font_ ? font_->font.get() : nullptr; }
  HBITMAP bitmap() const { return bitmap_.get(); }

 private:
  class Surface;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam) noexcept;

  OverlayWindowCalls calls_;
  base::win::ScopedWindow window_;
  base::win::ScopedMemoryDc memory_dc_;
  base::win::ScopedBitmap bitmap_;
  // What the memory DC held before the first bitmap went in; put back before that bitmap is
  // deleted, since a bitmap still selected into a DC cannot be.
  HGDIOBJ original_dc_bitmap_ = nullptr;
  // Present once SetFont ran, even when the family is not installed and the handles are null.
  std::optional<GdiplusFont> font_;
  int font_px_ = 18;
  RenderCache cache_;
};

}  // namespace corvane
