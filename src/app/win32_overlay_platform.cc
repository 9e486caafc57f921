#include "src/app/win32_overlay_platform.h"

#include "base/log/log_record.h"
#include "src/window/gdiplus_text.h"

namespace corvane {
namespace {

constexpr char kLogSource[] = "src/app/win32_overlay_platform";

HWND AsWindow(uint64_t value) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

}  // namespace

uint32_t Win32OverlayPlatform::TickCount() {
  return GetTickCount();
}

void Win32OverlayPlatform::Sleep(uint32_t milliseconds) {
  if (!sleeper_) {
    sleeper_.emplace();
    if (sleeper_->high_resolution()) {
      LOG_INFO("Passes wait on a high-resolution timer");
    } else {
      LOG_INFO("No high-resolution timer (error {}): passes wait with Sleep",
               sleeper_->timer_error());
    }
  }
  const bool had_timer = sleeper_->high_resolution();
  sleeper_->Sleep(milliseconds);
  if (had_timer && !sleeper_->high_resolution()) {
    LOG_WARNING("The high-resolution timer failed (error {}): passes wait with Sleep",
                sleeper_->timer_error());
  }
}

DpiReading Win32OverlayPlatform::GameDpi() {
  const MonitorDpi::Reading reading = monitor_dpi_.ForWindow(target_.hwnd());
  return {reading.dpi, reading.from_monitor};
}

void Win32OverlayPlatform::BindGameWindow(uintptr_t window) {
  target_.Bind(reinterpret_cast<HWND>(window));
}

GameWindowState Win32OverlayPlatform::ObserveGameWindow() {
  const TargetWindow::State state = target_.GetState();
  GameWindowState game;
  game.alive = state.alive;
  game.minimized = state.minimized;
  game.visible = state.visible;
  game.foreground =
      state.alive && state.visible && !state.minimized && GetForegroundWindow() == target_.hwnd();
  return game;
}

std::optional<ScreenRect> Win32OverlayPlatform::GameClientRect() {
  if (!target_.UpdateRect()) return std::nullopt;
  return ScreenRect{target_.x(), target_.y(), target_.width(), target_.height()};
}

uint32_t Win32OverlayPlatform::GameProcessId() {
  DWORD process_id = 0;
  if (target_.hwnd() != nullptr) GetWindowThreadProcessId(target_.hwnd(), &process_id);
  return process_id;
}

void Win32OverlayPlatform::RenderOverlay(std::span<const TextSegment> segments,
                                         const FrameGraph& graph, int x, int y, uint8_t alpha,
                                         int least_width) {
  window_.Render(segments.data(), static_cast<int>(segments.size()), graph, x, y, alpha,
                 least_width);
}

TextBox Win32OverlayPlatform::EstimateTextBox(std::span<const TextSegment> segments,
                                              int pixel_size) {
  // A font of the estimate's own, not the window's: the two may differ in size.
  const GdiplusFont font = MakeFont(kOverlayFontFamily, static_cast<float>(pixel_size));
  const base::win::ScopedGpStringFormat format = MakeTextFormat();
  const GdiplusCanvas canvas = MakeMeasuringCanvas();
  // Without a font or a canvas every run measures 0 wide.
  GdiplusMeasurer measurer(canvas.graphics.get(), font.font.get(), format.get());
  return corvane::EstimateTextBox(segments, measurer, pixel_size);
}

bool Win32OverlayPlatform::IsWindow(uint64_t window) {
  return ::IsWindow(AsWindow(window)) != FALSE;
}

uint32_t Win32OverlayPlatform::WindowProcessId(uint64_t window) {
  DWORD process_id = 0;
  if (window != 0 && GetWindowThreadProcessId(AsWindow(window), &process_id) == 0) return 0;
  return process_id;
}

MessagePost Win32OverlayPlatform::PostHostMessage(uint64_t window, uint32_t message,
                                                  uint64_t wparam, uint64_t lparam) {
  if (PostMessageW(AsWindow(window), message, static_cast<WPARAM>(wparam),
                   static_cast<LPARAM>(lparam)) != FALSE) {
    return {true, 0};
  }
  // Refused by user interface privilege isolation (UIPI): ERROR_ACCESS_DENIED.
  return {false, GetLastError()};
}

}  // namespace corvane
