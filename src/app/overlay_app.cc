#include "src/app/overlay_app.h"

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
  if (const int screen_dpi = platform_.ScreenDpi(); screen_dpi > 0) dpi_ = screen_dpi;
  LOG_NOTICE("OverlayApp DPI cached: {}", dpi_);
  platform_.SetOverlayFont(kOverlayFontFamily, kInitialFontSize);
  platform_.OpenFeed();  // a block that does not exist yet is opened by a later read
  RefreshData();
  NotifyVexoraEnv();
  return true;
}

void OverlayApp::NotifyVexoraEnv() {
  const uint64_t ipc = platform_.FeedIpcWindow();
  if (ipc == 0 || !platform_.IsWindow(ipc)) {
    LOG_INFO("NotifyVexoraEnv: ipc_wnd not available ({:016X})", ipc);
    return;
  }
  const uint32_t pid = platform_.GameProcessId();
  LOG_NOTICE("NotifyVexoraEnv: PostMessage(ipc={:016X}, {}, game_id={}, pid={})", ipc,
             kHostNotifyMessage, game_id_, pid);
  platform_.PostHostMessage(ipc, kHostNotifyMessage, game_id_, pid);
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
  platform_.ReadFeed(game_id_, drive, snapshot_, style_);
  frame_stale_ = true;
}

void OverlayApp::UpdateFrame() {
  const uint32_t now = platform_.TickCount();
  if (now - last_refresh_tick_ >= kRefreshIntervalMs) {
    last_refresh_tick_ = now;
    RefreshData();
    platform_.MarkOverlayDirty();
  }
  if (!platform_.FeedEnabled()) {
    platform_.ShowOverlay(false);
    return;
  }
  if (style_.font_size != last_font_style_) ApplyFontSize();
  if (frame_stale_) {
    ComposeFrame(snapshot_, style_, frame_);
    frame_stale_ = false;
  }

  const std::optional<ScreenRect> client = platform_.GameClientRect();
  if (!client) return;  // the game window went away; the main loop sees that itself
  const TextBox box = LayoutSize();
  const ScreenPoint place = PlaceBox(style_.pos, *client, box.width, box.height);
  platform_.RenderOverlay(frame_.segments, place.x, place.y, static_cast<uint8_t>(style_.alpha));
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
  if (const int screen_dpi = platform_.ScreenDpi(); screen_dpi > 0) dpi_ = screen_dpi;
  platform_.SetOverlayFont(kOverlayFontFamily, effective);
  last_font_style_ = style_.font_size;
  layout_hash_ = 0;
}

TextBox OverlayApp::LayoutSize() {
  const int effective = EffectiveFontSize(style_.font_size);
  if (frame_.hash != layout_hash_ || effective != layout_font_px_ || layout_width_ <= 0 ||
      layout_height_ <= 0) {
    const TextBox box =
        platform_.EstimateTextBox(frame_.segments, EstimatePixelSize(effective, dpi_));
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
