// What a frame without changes costs the overlay: Render on the quick path (same place, same
// opacity, nothing dirty) and a frame whose window moved (one present, no paint). Runs the
// repaint rules on a surface that only counts, so the figures are the rules' own cost.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/counting_surface.h"
#include "src/window/render_cache.h"

namespace {

using corvane::CountingSurface;
using corvane::RenderCache;
using corvane::TextSegment;

std::vector<TextSegment> FiveRows() {
  return {{u"FPS ", 0xFFFFFF},
          {u"60", 0xFFFFFF},
          {u" | ", 0x808080},
          {u"GPU ", 0xFFFFFF},
          {u"37.3% 2.0/8.0GB", 0xFFFFFF},
          {u" | ", 0x808080},
          {u"CPU ", 0xFFFFFF},
          {u"12.3%", 0xFFFFFF},
          {u" | ", 0x808080},
          {u"RAM ", 0xFFFFFF},
          {u"8.0/15.9GB", 0xFFFFFF},
          {u" | ", 0x808080},
          {u"IO ", 0xFFFFFF},
          {u"3.5%", 0xFFFFFF}};
}

void BM_RenderQuickPathSamePlace(benchmark::State& state) {
  const std::vector<TextSegment> runs = FiveRows();
  RenderCache cache;
  CountingSurface surface;
  cache.Render(runs, {}, 100, 50, 204, surface);  // the one paint
  for (auto _ : state) {
    cache.Render(runs, {}, 100, 50, 204, surface);
    benchmark::ClobberMemory();
  }
  state.counters["paints"] = static_cast<double>(surface.paints);
  state.counters["presents"] = static_cast<double>(surface.presents);
}
BENCHMARK(BM_RenderQuickPathSamePlace);

void BM_RenderQuickPathMoved(benchmark::State& state) {
  const std::vector<TextSegment> runs = FiveRows();
  RenderCache cache;
  CountingSurface surface;
  int x = 0;
  for (auto _ : state) {
    cache.Render(runs, {}, x++ & 1, 50, 204, surface);
    benchmark::ClobberMemory();
  }
  state.counters["paints"] = static_cast<double>(surface.paints);
  state.counters["presents/frame"] =
      benchmark::Counter(static_cast<double>(surface.presents), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RenderQuickPathMoved);

}  // namespace

BENCHMARK_MAIN();
