#include "src/app/overlay_app.h"

#include <algorithm>

#include "base/log/log_record.h"
#include "src/app/pass_decision.h"

namespace corvane {
namespace {

constexpr char kLogSource[] = "src/app/overlay_app";

}  // namespace

OverlayApp::~OverlayApp() {
  // Both releases do nothing when Shutdown already made them.
  platform_.CloseFeed();
  platform_.DestroyOverlay();
}

bool OverlayApp::Init(const LaunchArgs& args) {
  game_hwnd_ = args.game_window;
  game_id_ = args.game_id;
  LOG_NOTICE("OverlayApp::Init hwnd={:016X} game_id={}", game_hwnd_, game_id_);

  platform_.BindGameWindow(game_hwnd_);
  for (int attempt = 1; attempt <= kGameWindowWaits; ++attempt) {
    if (platform_.GameWindowAlive()) break;
    LOG_INFO("Target window not alive yet, retry {}/{}...", attempt, kGameWindowWaits);
    platform_.Sleep(kGameWindowWaitMs);
  }
  if (!platform_.GameWindowAlive()) {
    LOG_ERROR("Target game window is not alive after retries");
    return false;
  }

  if (!platform_.CreateOverlay(kOverlayInitialWidth, kOverlayInitialHeight)) {
    LOG_ERROR("Failed to create overlay window");
    return false;
  }
  ReadDpi();
  LOG_NOTICE("OverlayApp DPI cached: {}", dpi_);
  platform_.SetOverlayFont(kOverlayFontFamily, kInitialFontSize, dpi_);
  font_logical_px_ = kInitialFontSize;
  font_dpi_ = dpi_;
  platform_.OpenFeed();  // a block that does not exist yet is opened by a later read
  RefreshData();         // tells the host window the block names, when it is alive
  if (host_window_.state == HostWindowState::kNone ||
      host_window_.state == HostWindowState::kDead) {
    LOG_INFO("NotifyVexoraEnv: ipc_wnd not available ({:016X})", platform_.FeedIpcWindow());
  }
  return true;
}

HostWindow OverlayApp::JudgeHostWindow() const {
  // The window as the last read that took the lock found it. A host that restarts names its
  // new window there; a host that died leaves its old one, which is then no window at all, or
  // a window of another process that was given the same handle.
  HostWindow host;
  host.window = platform_.FeedIpcWindow();
  if (host.window == 0) return host;
  host.process_id = platform_.IsWindow(host.window) ? platform_.WindowProcessId(host.window) : 0;
  if (host.process_id == 0) {
    host.state = HostWindowState::kDead;
    return host;
  }
  const auto told =
      std::find_if(told_host_windows_.begin(), told_host_windows_.end(),
                   [&host](const ToldHostWindow& t) { return t.window == host.window; });
  if (told == told_host_windows_.end()) {
    host.state = HostWindowState::kUntold;
    return host;
  }
  host.told_process_id = told->process_id;
  host.state =
      told->process_id == host.process_id ? HostWindowState::kTold : HostWindowState::kReplaced;
  return host;
}

void OverlayApp::TellHostWindow(const HostWindow& host) {
  const uint32_t pid = platform_.GameProcessId();
  const MessagePost post =
      platform_.PostHostMessage(host.window, kHostNotifyMessage, game_id_, pid);
  if (!post.posted) {
    // Not told: the next refresh tries again, and only the first failure is recorded.
    if (post_failure_recorded_ != host.window) {
      post_failure_recorded_ = host.window;
      LOG_WARNING(
          "NotifyVexoraEnv: PostMessage(ipc={:016X}, {}, game_id={}, pid={}) failed with error "
          "{}; trying again at every refresh",
          host.window, kHostNotifyMessage, game_id_, pid, post.error);
    }
    return;
  }
  if (post_failure_recorded_ == host.window) post_failure_recorded_.reset();
  LOG_NOTICE("NotifyVexoraEnv: PostMessage(ipc={:016X}, {}, game_id={}, pid={})", host.window,
             kHostNotifyMessage, game_id_, pid);
  std::erase_if(told_host_windows_,
                [&host](const ToldHostWindow& t) { return t.window == host.window; });
  if (told_host_windows_.size() >= kHostWindowsRemembered) {
    told_host_windows_.erase(told_host_windows_.begin());
  }
  told_host_windows_.push_back({host.window, host.process_id});
}

void OverlayApp::MarkStale(const std::string& reason) {
  compose_pending_ = true;
  LOG_WARNING("Figures stale, showing the fallbacks: {}", reason);
}

void OverlayApp::MarkLive() {
  compose_pending_ = true;
  LOG_NOTICE("Figures live again");
}

void OverlayApp::Shutdown() {
  LOG_NOTICE("OverlayApp::Shutdown");
  platform_.CloseFeed();
  platform_.DestroyOverlay();
}

int OverlayApp::Run() {
  LOG_NOTICE("OverlayApp::Run enter main loop");
  bool quit = !platform_.PumpMessages();
  uint32_t lost_since = 0;
  while (!quit) {
    const GameWindowState game = platform_.ObserveGameWindow();
    // The clock is read only when an absence begins, goes on or ends.
    const uint32_t now = !game.alive || lost_since != 0 ? platform_.TickCount() : 0;
    const PassDecision pass = DecidePass(game, lost_since, now);
    lost_since = pass.lost_since;
    if (pass.recovered) LOG_INFO("Game window recovered after {} ms", pass.elapsed_ms);
    if (pass.lost) {
      LOG_NOTICE("Game window lost (hwnd={:016X}), waiting up to {} ms", game_hwnd_,
                 kGracePeriodMs);
    }
    if (pass.action == PassDecision::Action::kExit) {
      LOG_NOTICE("Game window gone for {} ms, exiting", pass.elapsed_ms);
      break;
    }
    if (pass.action == PassDecision::Action::kDraw) {
      UpdateFrame();
    } else {
      platform_.ShowOverlay(false);
    }
    platform_.Sleep(pass.delay_ms);
    quit = !platform_.PumpMessages();
  }
  if (quit) LOG_NOTICE("WM_QUIT received, exiting");
  LOG_NOTICE("Run() exiting normally");
  return 0;
}

void OverlayApp::RefreshData() {
  const std::string drive = platform_.GameDrive();
  RefreshFindings refresh;
  refresh.read = platform_.ReadFeed(game_id_, drive, snapshot_, style_);
  compose_pending_ = true;

  host_window_ = JudgeHostWindow();
  // A new host window is told at once, whatever the read gave: the host waits for it. So is
  // the new owner of a window told before: it may be that host restarted.
  if (host_window_.state == HostWindowState::kUntold ||
      host_window_.state == HostWindowState::kReplaced) {
    TellHostWindow(host_window_);
  }
  refresh.host = host_window_;
  refresh.seq = snapshot_.seq;
  refresh.document_digest = snapshot_.document_digest;
  const FigureFreshness::Verdict verdict = freshness_.Judge(refresh);
  if (verdict.change == FigureFreshness::Change::kStale) MarkStale(verdict.reason);
  if (verdict.change == FigureFreshness::Change::kLive) MarkLive();
}

void OverlayApp::ReadDpi() {
  const DpiReading reading = platform_.GameDpi();
  if (dpi_from_monitor_ != reading.from_monitor) {
    dpi_from_monitor_ = reading.from_monitor;
    if (reading.from_monitor) {
      LOG_INFO("DPI from the game's monitor: {}", reading.dpi);
    } else {
      LOG_INFO("The game's monitor DPI is not available, the screen's is used: {}", reading.dpi);
    }
  }
  if (reading.dpi > 0) dpi_ = reading.dpi;
}

void OverlayApp::UpdateFrame() {
  const uint32_t now = platform_.TickCount();
  if (now - last_refresh_tick_ >= kRefreshIntervalMs) {
    last_refresh_tick_ = now;
    RefreshData();
    ReadDpi();  // the game may have moved to a monitor of another scale
    platform_.MarkOverlayDirty();
  }
  if (!platform_.FeedEnabled()) {
    platform_.ShowOverlay(false);
    return;
  }
  if (style_.font_size != last_font_style_) {
    ApplyFontSize();
  } else if (dpi_ != font_dpi_) {
    ApplyDpi();
  }
  if (compose_pending_) {
    // Stale figures: the style stays, every row shows its fallback.
    if (freshness_.stale()) {
      ComposeFrame(FallbackRows(), style_, frame_);
    } else {
      ComposeFrame(snapshot_, style_, frame_);
    }
    compose_pending_ = false;
  }

  const std::optional<ScreenRect> client = platform_.GameClientRect();
  if (!client) return;  // the game window went away; the main loop sees that itself
  TextBox box = LayoutSize();
  // A horizontal box keeps its width while a figure gains and loses a digit; the painter makes
  // it as wide as the placement takes it to be.
  int least_width = 0;
  if (style_.direction == "ver") {
    steady_width_.Reset();
  } else {
    // A new style (its font size included), a new DPI, or figures going stale or live again
    // take the text's width at once: only a figure's digits come and go slowly.
    const uint64_t box_key =
        (frame_.style_hash * 31 + static_cast<uint64_t>(dpi_)) * 2 + (freshness_.stale() ? 1 : 0);
    least_width = steady_width_.Take(box.width, box_key, now);
    box.width = least_width;
  }
  const ScreenPoint place = PlaceBox(style_.pos, *client, box.width, box.height);
  platform_.RenderOverlay(frame_.segments, frame_.graph, place.x, place.y,
                          static_cast<uint8_t>(style_.alpha), least_width);
  if (!platform_.OverlayVisible()) platform_.ShowOverlay(true);

  const uint32_t zorder_now = platform_.TickCount();
  if (zorder_now - last_zorder_tick_ >= kZOrderIntervalMs) {
    platform_.KeepOverlayAboveGame();
    last_zorder_tick_ = zorder_now;
  }
}

void OverlayApp::ApplyFontSize() {
  const int effective = EffectiveFontSize(style_.font_size);
  LOG_INFO("Font size changed: style={} px={} prev_style={}", style_.font_size, effective,
           last_font_style_);
  ReadDpi();
  platform_.SetOverlayFont(kOverlayFontFamily, effective, dpi_);
  font_logical_px_ = effective;
  font_dpi_ = dpi_;
  last_font_style_ = style_.font_size;
  layout_hash_ = 0;
}

void OverlayApp::ApplyDpi() {
  LOG_INFO("DPI changed: {} -> {}, font set again at {} px", font_dpi_, dpi_, font_logical_px_);
  platform_.SetOverlayFont(kOverlayFontFamily, font_logical_px_, dpi_);
  font_dpi_ = dpi_;
  layout_hash_ = 0;
}

TextBox OverlayApp::LayoutSize() {
  const int effective = EffectiveFontSize(style_.font_size);
  if (frame_.hash != layout_hash_ || effective != layout_font_px_ || layout_width_ <= 0 ||
      layout_height_ <= 0) {
    const int pixel_size = EstimatePixelSize(effective, dpi_);
    const TextBox box =
        WithFrameGraph(platform_.EstimateTextBox(frame_.segments, pixel_size), frame_, pixel_size);
    layout_hash_ = frame_.hash;
    layout_font_px_ = effective;
    layout_width_ = box.width;
    layout_height_ = box.height;
  }
  TextBox box;
  box.width = layout_width_;
  box.height = layout_height_;
  return box;
}

}  // namespace corvane
