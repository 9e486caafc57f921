#pragma once
// Everything the overlay application asks of the system: the overlay window, the game window,
// the performance block, the clock, the screen and the text measurer. The program runs it on
// Win32 (win32_overlay_platform.h); tests run the application on a fake that counts the calls.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "src/app/frame_composition.h"
#include "src/app/pass_decision.h"
#include "src/data/perf_snapshot.h"
#include "src/data/shared_memory_reader.h"
#include "src/window/text_layout.h"

namespace corvane {

// The DPI the overlay's text is made for, and where it came from.
struct DpiReading {
  int dpi = 0;                // 0 when unknown
  bool from_monitor = false;  // the game's monitor's; false: the screen's, which stands in
};

// How posting a message went.
struct MessagePost {
  bool posted = false;
  uint32_t error = 0;  // the system's error code when it was not posted
};

class OverlayPlatform {
 public:
  virtual ~OverlayPlatform() = default;

  // Clock and screen.
  virtual uint32_t TickCount() = 0;  // milliseconds since system start, wrapping at 2^32
  virtual void Sleep(uint32_t milliseconds) = 0;
  // The effective DPI of the monitor that holds the game window, or the screen's where the
  // monitor's cannot be had.
  virtual DpiReading GameDpi() = 0;

  // The game window.
  virtual void BindGameWindow(uintptr_t window) = 0;
  virtual bool GameWindowAlive() = 0;
  // Alive, minimised and visible, and whether it is the foreground window, which is asked only
  // of a window that is alive, visible and not minimised.
  virtual GameWindowState ObserveGameWindow() = 0;
  // The client area in screen coordinates, read anew; nothing when the window is gone.
  virtual std::optional<ScreenRect> GameClientRect() = 0;
  // "C:" for a game run from drive C, "_Total" when unknown.
  virtual std::string GameDrive() = 0;
  virtual uint32_t GameProcessId() = 0;  // 0 when unknown

  // The overlay window.
  virtual bool CreateOverlay(int width, int height) = 0;
  virtual void DestroyOverlay() = 0;
  virtual void ShowOverlay(bool show) = 0;
  virtual bool OverlayVisible() = 0;
  // False once the thread's quit message was taken.
  virtual bool PumpMessages() = 0;
  virtual void KeepOverlayAboveGame() = 0;
  // The font of `family` at `logical_px` (96 DPI pixels) scaled to `dpi`.
  virtual void SetOverlayFont(const std::wstring& family, int logical_px, int dpi) = 0;
  virtual void MarkOverlayDirty() = 0;
  // The runs, with the frame-time graph under them when it is shown, on a box at least
  // `least_width` wide (0: as wide as they need).
  virtual void RenderOverlay(std::span<const TextSegment> segments, const FrameGraph& graph, int x,
                             int y, uint8_t alpha, int least_width) = 0;

  // The measurer of the box size estimate, with a font of `pixel_size` physical pixels.
  virtual TextBox EstimateTextBox(std::span<const TextSegment> segments, int pixel_size) = 0;

  // The performance block.
  virtual bool OpenFeed() = 0;
  virtual BlockRead ReadFeed(uint64_t game_id, const std::string& game_drive,
                             PerfSnapshot& snapshot, UiStyle& style) = 0;
  virtual void CloseFeed() = 0;
  virtual bool FeedEnabled() = 0;
  virtual uint64_t FeedIpcWindow() = 0;

  // The host's IPC window.
  virtual bool IsWindow(uint64_t window) = 0;
  // The id of the process that owns `window`; 0 when it is no window (any more).
  virtual uint32_t WindowProcessId(uint64_t window) = 0;
  // Posts `message` to `window` without waiting for it. On Windows a window of a process at a
  // higher integrity level (an elevated host) refuses a message it does not let through.
  virtual MessagePost PostHostMessage(uint64_t window, uint32_t message, uint64_t wparam,
                                      uint64_t lparam) = 0;
};

}  // namespace corvane
