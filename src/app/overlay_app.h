#pragma once
// The overlay application: binds the game window named on the command line, the overlay window
// drawn over it and the performance block; tells the host whom it serves; runs the main loop
// that shows the figures while the game is in front and leaves when the game has gone.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "src/app/figure_freshness.h"
#include "src/app/frame_composition.h"
#include "src/app/launch_args.h"
#include "src/app/overlay_platform.h"
#include "src/data/perf_snapshot.h"

namespace corvane {

// The host's window message that names the game this overlay serves: wParam the game id,
// lParam the id of the process that owns the game window. A fixed number, not WM_USER based.
inline constexpr uint32_t kHostNotifyMessage = 1004;

inline constexpr int kOverlayInitialWidth = 700;
inline constexpr int kOverlayInitialHeight = 32;
inline constexpr int kInitialFontSize = 14;
inline constexpr int kGameWindowWaits = 10;
inline constexpr uint32_t kGameWindowWaitMs = 500;
// How many host windows told are remembered, the newest kept: a host restarts seldom, and a
// block that names one window after another must not make the memory grow.
inline constexpr size_t kHostWindowsRemembered = 8;

class OverlayApp {
 public:
  // The platform outlives the application.
  explicit OverlayApp(OverlayPlatform& platform) : platform_(platform) {}
  ~OverlayApp();
  OverlayApp(const OverlayApp&) = delete;
  OverlayApp& operator=(const OverlayApp&) = delete;

  // Waits up to ten times 500 ms for the game window, creates the overlay window, reads the
  // game monitor's DPI, sets the default font, opens the feed, reads it once and notifies the
  // host.
  // False when the game window never appeared or the overlay window could not be made.
  bool Init(const LaunchArgs& args);
  // The main loop; returns the exit code, 0, after a quit message or once the game window has
  // been gone for the grace period.
  int Run();
  // Closes the feed and destroys the overlay window. Not called when Init failed.
  void Shutdown();

  // One frame: refresh when due (the figures and the DPI), then paint, place, show and keep the
  // overlay above the game.
  void UpdateFrame();
  // Reads the block into the snapshot and the style, tells a new live host window whom this
  // overlay serves, and marks the figures stale or live as FigureFreshness judges them.
  void RefreshData();

  uintptr_t game_hwnd() const { return game_hwnd_; }
  uint64_t game_id() const { return game_id_; }
  const PerfSnapshot& snapshot() const { return snapshot_; }
  const UiStyle& style() const { return style_; }
  uint32_t last_refresh_tick() const { return last_refresh_tick_; }
  uint32_t last_zorder_tick() const { return last_zorder_tick_; }
  int32_t last_font_style() const { return last_font_style_; }
  uint64_t layout_hash() const { return layout_hash_; }
  int32_t layout_font_px() const { return layout_font_px_; }
  int32_t layout_width() const { return layout_width_; }
  int32_t layout_height() const { return layout_height_; }
  int32_t dpi() const { return dpi_; }
  // While stale every row shows its fallback text.
  bool figures_stale() const { return freshness_.stale(); }

 private:
  // A host window told whom this overlay serves, with the process that owned it then: window
  // handles are reused, so a handle alone does not say it is still the same window.
  struct ToldHostWindow {
    uint64_t window = 0;
    uint32_t process_id = 0;
  };
  // Looks at the host window the block names; tells nobody.
  HostWindow JudgeHostWindow() const;
  // Posts the host message to `host`, a live window, and remembers it with its owner when the
  // post went through, forgetting the oldest window told when there are too many. A failed
  // post is recorded once a window and tried again at the next refresh.
  void TellHostWindow(const HostWindow& host);
  // Every row shows its fallback from the next frame on; one record.
  void MarkStale(const std::string& reason);
  // The figures show again from the next frame on; one record.
  void MarkLive();
  // The game monitor's DPI into `dpi_` (kept when none can be had).
  void ReadDpi();
  void ApplyFontSize();
  // Makes the font again at a DPI that changed since it was made.
  void ApplyDpi();
  // The estimated box size for the current text, measured again only when it changed.
  TextBox LayoutSize();

  OverlayPlatform& platform_;
  uintptr_t game_hwnd_ = 0;
  uint64_t game_id_ = 0;
  PerfSnapshot snapshot_;
  UiStyle style_;
  uint32_t last_refresh_tick_ = 0;
  uint32_t last_zorder_tick_ = 0;
  int32_t last_font_style_ = 0;
  uint64_t layout_hash_ = 0;
  int32_t layout_font_px_ = 0;
  int32_t layout_width_ = 0;
  int32_t layout_height_ = 0;
  int32_t dpi_ = kReferenceDpi;
  // Whether the last DPI read came from the game's monitor; empty before the first read.
  std::optional<bool> dpi_from_monitor_;
  // The window's font as last made: its size in 96 DPI pixels and the DPI it was made for.
  int32_t font_logical_px_ = 0;
  int32_t font_dpi_ = 0;

  FigureFreshness freshness_;
  // The host window as the last refresh saw it.
  HostWindow host_window_;
  // The newest host windows told whom this overlay serves, oldest first, one entry a handle,
  // so that none is told twice while it keeps its owner.
  std::vector<ToldHostWindow> told_host_windows_;
  // The window whose failed post was recorded, so that its retries are not.
  std::optional<uint64_t> post_failure_recorded_;

  // The runs of the current figures and style. They change only when the block is read, so
  // they are made again only then, not on every frame.
  ComposedFrame frame_;
  bool compose_pending_ = true;
  SteadyBoxWidth steady_width_;
};

}  // namespace corvane
