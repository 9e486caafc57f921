#pragma once
// The overlay application's platform on Windows: the layered overlay window, the game window
// and the performance block, owned here by value, and the user32, gdi32 and GDI+ calls around
// them.
#include <optional>

#include "base/os/win/pass_sleeper.h"
#include "src/app/overlay_platform.h"
#include "src/data/shared_memory_reader.h"
#include "src/window/monitor_dpi.h"
#include "src/window/overlay_window.h"
#include "src/window/target_window.h"

namespace corvane {

class Win32OverlayPlatform final : public OverlayPlatform {
 public:
  Win32OverlayPlatform() = default;
  Win32OverlayPlatform(const Win32OverlayPlatform&) = delete;
  Win32OverlayPlatform& operator=(const Win32OverlayPlatform&) = delete;

  uint32_t TickCount() override;
  void Sleep(uint32_t milliseconds) override;
  DpiReading GameDpi() override;

  void BindGameWindow(uintptr_t window) override;
  bool GameWindowAlive() override { return target_.IsAlive(); }
  GameWindowState ObserveGameWindow() override;
  std::optional<ScreenRect> GameClientRect() override;
  std::string GameDrive() override { return GetWindowProcessDrive(target_); }
  uint32_t GameProcessId() override;

  bool CreateOverlay(int width, int height) override { return window_.Create(width, height); }
  void DestroyOverlay() override { window_.Destroy(); }
  void ShowOverlay(bool show) override { window_.Show(show); }
  bool OverlayVisible() override { return window_.IsVisible(); }
  bool PumpMessages() override { return window_.PumpMessages(); }
  void KeepOverlayAboveGame() override { window_.KeepAbove(target_.hwnd()); }
  void SetOverlayFont(const std::wstring& family, int logical_px, int dpi) override {
    window_.SetFont(family, logical_px, dpi);
  }
  void MarkOverlayDirty() override { window_.MarkDirty(); }
  void RenderOverlay(std::span<const TextSegment> segments, const FrameGraph& graph, int x, int y,
                     uint8_t alpha, int least_width) override;

  TextBox EstimateTextBox(std::span<const TextSegment> segments, int pixel_size) override;

  bool OpenFeed() override { return reader_.Open(); }
  BlockRead ReadFeed(uint64_t game_id, const std::string& game_drive, PerfSnapshot& snapshot,
                     UiStyle& style) override {
    reader_.Read(game_id, game_drive, snapshot, style);
    return reader_.last_read();
  }
  void CloseFeed() override { reader_.Close(); }
  bool FeedEnabled() override { return reader_.enabled(); }
  uint64_t FeedIpcWindow() override { return reader_.ipc_wnd(); }

  bool IsWindow(uint64_t window) override;
  uint32_t WindowProcessId(uint64_t window) override;
  MessagePost PostHostMessage(uint64_t window, uint32_t message, uint64_t wparam,
                              uint64_t lparam) override;

  OverlayWindow& window() { return window_; }

 private:
  OverlayWindow window_;
  SharedMemoryReader reader_;
  TargetWindow target_;
  MonitorDpi monitor_dpi_;
  // Made at the first sleep: only the main loop sleeps.
  std::optional<base::win::PassSleeper> sleeper_;
};

}  // namespace corvane
