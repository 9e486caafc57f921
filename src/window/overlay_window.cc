#include "src/window/overlay_window.h"

#include <span>

#include "base/log/log_record.h"
#include "base/strings/utf.h"
#include "src/window/gdiplus_text.h"
#include "src/window/z_order.h"

namespace corvane {
namespace {

constexpr char kLogSource[] = "src/window/overlay_window";
namespace gdip = Gdiplus::DllExports;

// Non-zero while GDI+ is started.
ULONG_PTR g_gdiplus_token = 0;

uintptr_t HandleValue(HWND window) {
  return reinterpret_cast<uintptr_t>(window);
}

bool IsTopmost(HWND window) {
  return (static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)) & WS_EX_TOPMOST) != 0;
}

HWND InsertAfterHandle(InsertAfter step, HWND above) {
  switch (step) {
    case InsertAfter::kWindowAbove:
      return above;
    case InsertAfter::kTopmost:
      return HWND_TOPMOST;
    case InsertAfter::kNotTopmost:
      return HWND_NOTOPMOST;
    case InsertAfter::kTop:
      break;
  }
  return HWND_TOP;
}

}  // namespace

// Paints into the window's memory DC and hands the result to the layered window.
class OverlayWindow::Surface final : public RenderSurface {
 public:
  explicit Surface(OverlayWindow& window) : window_(window) {}

  std::optional<BitmapSize> Paint(std::span<const TextSegment> segments, const FrameGraph& graph,
                                  uint8_t alpha, int least_width) override {
    PaintedBitmap painted =
        PaintTextBitmap(segments, graph, window_.font(), window_.font_px_, alpha, least_width);
    if (!painted.bitmap) return std::nullopt;
    HDC dc = window_.memory_dc_.get();
    const HGDIOBJ old = SelectObject(dc, painted.bitmap.get());
    if (window_.original_dc_bitmap_ == nullptr) window_.original_dc_bitmap_ = old;
    // The previous bitmap is no longer selected, so it can go now.
    window_.bitmap_.reset(painted.bitmap.release());
    return painted.size;
  }

  void Present(int x, int y, BitmapSize size) override {
    POINT destination{x, y};
    SIZE extent{size.width, size.height};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    // The window takes the bitmap's size. A failure shows nothing new and is not reported.
    window_.calls_.update_layered_window(window_.window_.get(), nullptr, &destination, &extent,
                                         window_.memory_dc_.get(), &source, 0, &blend, ULW_ALPHA);
  }

 private:
  OverlayWindow& window_;
};

bool OverlayWindow::StartupGdiplus() {
  Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, background thread
  const Gdiplus::Status status = Gdiplus::GdiplusStartup(&g_gdiplus_token, &input, nullptr);
  if (status != Gdiplus::Ok) {
    g_gdiplus_token = 0;
    LOG_ERROR("GdiplusStartup failed: {}", static_cast<int>(status));
    return false;
  }
  LOG_NOTICE("GDI+ initialized, token={}", static_cast<uint64_t>(g_gdiplus_token));
  return true;
}

void OverlayWindow::ShutdownGdiplus() {
  if (g_gdiplus_token == 0) return;
  Gdiplus::GdiplusShutdown(g_gdiplus_token);
  g_gdiplus_token = 0;
  LOG_NOTICE("GDI+ shutdown");
}

bool OverlayWindow::Create(int width, int height) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &OverlayWindow::WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kOverlayClassName;
  RegisterClassExW(&window_class);  // a class left registered from before does no harm

  window_.reset(CreateWindowExW(kOverlayExStyle, kOverlayClassName, kOverlayTitle, kOverlayStyle, 0,
                                0, width, height, nullptr, nullptr, instance, nullptr));
  if (!window_) {
    LOG_ERROR("CreateWindowEx failed: {}", GetLastError());
    return false;
  }
  if (HDC screen = GetDC(nullptr)) {
    // A null memory DC is not reported: Render paints nothing without one.
    memory_dc_.reset(CreateCompatibleDC(screen));
    ReleaseDC(nullptr, screen);
  }
  LOG_NOTICE("OverlayWindow created: {}x{} hwnd={:016X}", width, height,
             HandleValue(window_.get()));
  return true;
}

void OverlayWindow::Destroy() {
  font_.reset();
  if (bitmap_ && original_dc_bitmap_ != nullptr) {
    SelectObject(memory_dc_.get(), original_dc_bitmap_);
  }
  original_dc_bitmap_ = nullptr;
  bitmap_.reset();
  cache_.ForgetBitmap();
  memory_dc_.reset();
  window_.reset();  // WM_DESTROY posts the quit message
  UnregisterClassW(kOverlayClassName, GetModuleHandleW(nullptr));
}

void OverlayWindow::Show(bool show) {
  if (window_) ShowWindow(window_.get(), show ? SW_SHOWNOACTIVATE : SW_HIDE);
}

bool OverlayWindow::IsVisible() const {
  return window_ && IsWindowVisible(window_.get());
}

bool OverlayWindow::PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) return false;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

void OverlayWindow::KeepAbove(HWND game) {
  if (!window_ || game == nullptr || !IsWindow(game)) return;
  const HWND overlay = window_.get();
  const HWND above = GetWindow(game, GW_HWNDPREV);
  ZOrderView view;
  view.above_exists = above != nullptr;
  view.above_is_overlay = above == overlay;
  view.above_topmost = above != nullptr && IsTopmost(above);
  view.game_topmost = IsTopmost(game);
  view.overlay_topmost = IsTopmost(overlay);
  for (const InsertAfter step : PlanKeepAbove(view)) {
    if (step == InsertAfter::kNotTopmost) {
      LOG_INFO("z-order: overlay out of the topmost band, game hwnd={:016X}", HandleValue(game));
    } else if (step == InsertAfter::kTopmost) {
      LOG_INFO("z-order: overlay follows the topmost game hwnd={:016X}", HandleValue(game));
    }
    calls_.set_window_pos(overlay, InsertAfterHandle(step, above), 0, 0, 0, 0,
                          SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  }
}

void OverlayWindow::SetFont(const std::wstring& family, int logical_px, int dpi) {
  if (dpi <= 0) dpi = kReferenceDpi;
  font_px_ = PhysicalPixels(logical_px, dpi);

  // A family that is not installed leaves both handles null; the box is then drawn empty.
  font_.emplace(MakeFont(family.c_str(), static_cast<float>(font_px_)));
  cache_.MarkDirty();
  LOG_INFO("GDI+ Font set: {} logical={}px dpi={} physical={}px", base::WideToUtf8(family),
           logical_px, dpi, font_px_);
}

void OverlayWindow::Render(const TextSegment* segments, int count, const FrameGraph& graph, int x,
                           int y, uint8_t alpha, int least_width) {
  if (!window_ || !memory_dc_ || segments == nullptr || count < 1 || !font_) return;
  Surface surface(*this);
  cache_.Render(std::span<const TextSegment>(segments, static_cast<size_t>(count)), graph, x, y,
                alpha, surface, least_width);
}

LRESULT CALLBACK OverlayWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) noexcept {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      return 0;  // the overlay goes only when Destroy says so
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace corvane
