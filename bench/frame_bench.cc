// What one frame of the overlay costs its own code natively: OverlayApp::UpdateFrame on a
// platform whose window queries answer at once and whose overlay window is the real repaint
// rules (RenderCache) over a surface that counts paints and presents. The figures carry a
// frame-time graph of 240 frames. Counts per frame show which frames reach the drawing code:
// with nothing changed, none may.
#include <benchmark/benchmark.h>

#include "bench/counting_surface.h"
#include "src/app/overlay_app.h"
#include "src/window/render_cache.h"

namespace {

using namespace corvane;

// Answers every query at once; the drawing calls (font, estimate, paint, present) are counted.
class BenchPlatform final : public OverlayPlatform {
 public:
  uint32_t TickCount() override { return tick; }
  void Sleep(uint32_t) override {}
  DpiReading GameDpi() override { return {96, true}; }
  void BindGameWindow(uintptr_t) override {}
  bool GameWindowAlive() override { return true; }
  GameWindowState ObserveGameWindow() override { return {true, false, true, true}; }
  std::optional<ScreenRect> GameClientRect() override { return client; }
  std::string GameDrive() override { return "C:"; }
  uint32_t GameProcessId() override { return 1; }
  bool CreateOverlay(int, int) override { return true; }
  void DestroyOverlay() override {}
  void ShowOverlay(bool show) override { visible = show; }
  bool OverlayVisible() override { return visible; }
  bool PumpMessages() override { return true; }
  void KeepOverlayAboveGame() override { ++restacks; }
  void SetOverlayFont(const std::wstring&, int, int) override { ++font_sets; }
  void MarkOverlayDirty() override { cache.MarkDirty(); }
  void RenderOverlay(std::span<const TextSegment> segments, const FrameGraph& graph, int x, int y,
                     uint8_t alpha, int least_width) override {
    cache.Render(segments, graph, x, y, alpha, surface, least_width);
  }
  TextBox EstimateTextBox(std::span<const TextSegment>, int) override {
    ++estimates;
    return TextBox{20, 1, 640, 28, {}};
  }
  bool OpenFeed() override { return true; }
  BlockRead ReadFeed(uint64_t, const std::string&, PerfSnapshot& snapshot,
                     UiStyle& style) override {
    ++reads;
    snapshot.fps_valid = snapshot.gpu_valid = snapshot.disk_valid = true;
    snapshot.fps_cur = 59.6 + reads;  // new figures at every refresh
    // Frame pacing with a full graph: the lows and 240 frame times, the newest new.
    snapshot.fps_low1 = 41.0;
    snapshot.fps_low01 = 30.0;
    snapshot.frame_ms.assign(kMaxFrameTimes, 16.7);
    snapshot.frame_ms.back() = 16.0 + static_cast<double>(reads % 20);
    snapshot.cpu = 12.34;
    snapshot.mem_total = 16243.4;
    snapshot.mem_free = 8000.2;
    style.alpha = 204;
    return BlockRead::kParsed;
  }
  void CloseFeed() override {}
  bool FeedEnabled() override { return true; }
  uint64_t FeedIpcWindow() override { return 0; }
  bool IsWindow(uint64_t) override { return false; }
  uint32_t WindowProcessId(uint64_t) override { return 0; }
  MessagePost PostHostMessage(uint64_t, uint32_t, uint64_t, uint64_t) override { return {true, 0}; }

  uint32_t tick = 1000000;
  ScreenRect client{0, 0, 1920, 1080};
  bool visible = false;
  RenderCache cache;
  CountingSurface surface;
  long restacks = 0, font_sets = 0, estimates = 0, reads = 0;
};

// Starts an overlay on the platform, makes its first frame (which refreshes, estimates, paints
// and shows), then times `change` and a frame per iteration. Counts the drawing calls per frame.
template <typename Change>
void TimeFrames(benchmark::State& state, Change change) {
  using benchmark::Counter;
  BenchPlatform platform;
  OverlayApp app(platform);
  app.Init({0x1A2B, 42});
  app.UpdateFrame();
  const long paints = platform.surface.paints, presents = platform.surface.presents,
             estimates = platform.estimates;
  for (auto _ : state) {
    change(platform);
    app.UpdateFrame();
    benchmark::ClobberMemory();
  }
  const auto per_frame = [](long count) {
    return Counter(static_cast<double>(count), Counter::kAvgIterations);
  };
  state.counters["paints/frame"] = per_frame(platform.surface.paints - paints);
  state.counters["presents/frame"] = per_frame(platform.surface.presents - presents);
  state.counters["estimates/frame"] = per_frame(platform.estimates - estimates);
}

// The game in front, nothing new: no refresh, no font change, same place.
void BM_FrameNothingChanged(benchmark::State& state) {
  TimeFrames(state, [](BenchPlatform&) {});
}
BENCHMARK(BM_FrameNothingChanged);

// The game window moves on every frame: one present, no paint.
void BM_FrameGameMoved(benchmark::State& state) {
  TimeFrames(state, [](BenchPlatform& platform) { platform.client.x ^= 1; });
}
BENCHMARK(BM_FrameGameMoved);

// A frame that refreshes: new figures, new runs, a new estimate and a paint (on the counting
// surface: the drawing itself is measured by full_paint_bench under Wine).
void BM_FrameWithRefresh(benchmark::State& state) {
  TimeFrames(state, [](BenchPlatform& platform) { platform.tick += kRefreshIntervalMs; });
}
BENCHMARK(BM_FrameWithRefresh);

}  // namespace

BENCHMARK_MAIN();
