// What a full paint of the overlay costs under Wine (or Windows): measuring, drawing the five
// rows with GDI+, the GDI bitmap and UpdateLayeredWindow, for the horizontal and the vertical
// layout, without and with a frame-time graph of 240 frames (and the ratio of the two), and
// beside it the quick path of the same window. Prints milliseconds per call.
//   full_paint_bench.exe [iterations]     (default 300)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "src/window/frame_graph.h"
#include "src/window/gdiplus_text.h"
#include "src/window/monitor_dpi.h"
#include "src/window/overlay_window.h"

namespace {

using corvane::OverlayWindow;
using corvane::TextSegment;

std::vector<TextSegment> FiveRows(bool vertical) {
  const std::u16string texts[] = {u"FPS ", u"60",    u"GPU ", u"37.3% 2.0/8.0GB",
                                  u"CPU ", u"12.3%", u"RAM ", u"8.0/15.9GB",
                                  u"IO ",  u"3.5%"};
  std::vector<TextSegment> runs;
  for (int row = 0; row < 5; ++row) {
    if (row > 0) runs.push_back({vertical ? u"\n" : u" | ", 0x808080});
    runs.push_back({texts[2 * row], 0xFFFFFF});
    runs.push_back({texts[2 * row + 1], 0xFFFFFF});
  }
  return runs;
}

// 240 frames of a game near 60 frames a second with a stutter now and then.
corvane::FrameGraph FullGraph() {
  std::vector<double> frame_ms;
  for (int i = 0; i < 240; ++i) frame_ms.push_back(i % 40 == 39 ? 50.0 : 16.0 + (i % 7) * 0.3);
  corvane::FrameGraph graph;
  corvane::MakeFrameGraph(frame_ms, std::nullopt, 0xFFFFFF, graph);
  return graph;
}

double NowMs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / frequency;
}

// Prints the figures; returns the median.
double Report(const char* name, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  double sum = 0;
  for (double t : times) sum += t;
  const size_t n = times.size();
  std::printf("%-32s n=%zu  mean %.4f ms  median %.4f ms  p95 %.4f ms  min %.4f ms\n", name, n,
              sum / n, times[n / 2], times[n * 95 / 100], times.front());
  return times[n / 2];
}

template <typename Step>
std::vector<double> Time(int iterations, Step step) {
  std::vector<double> times;
  for (int i = 0; i < iterations; ++i) {
    const double start = NowMs();
    step(i);
    times.push_back(NowMs() - start);
  }
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  int iterations = 300;
  if (argc > 1) {
    const std::string_view arg = argv[1];
    if (arg == "--help" || arg == "-h") {
      std::printf("usage: full_paint_bench.exe [iterations]   (default 300)\n");
      return 0;
    }
    iterations = std::atoi(argv[1]);
    if (iterations < 1) {
      std::fprintf(stderr, "full_paint_bench: iterations must be a positive number\n");
      return 2;
    }
  }
  if (!OverlayWindow::StartupGdiplus()) {
    std::fprintf(stderr, "full_paint_bench: GDI+ does not start\n");
    return 1;
  }
  {
    OverlayWindow window;
    if (!window.Create(700, 32)) {
      std::fprintf(stderr, "full_paint_bench: the window cannot be created\n");
      return 1;
    }
    window.SetFont(L"Microsoft YaHei", 14, corvane::ScreenDpi());
    if (window.font() == nullptr) std::printf("note: Microsoft YaHei is not installed\n");
    window.Show(true);
    const corvane::FrameGraph no_graph;
    const corvane::FrameGraph graph = FullGraph();
    for (const bool vertical : {false, true}) {
      const std::vector<TextSegment> runs = FiveRows(vertical);
      const int count = static_cast<int>(runs.size());
      const auto full_paint = [&](const corvane::FrameGraph& shown) {
        return [&](int) {
          window.MarkDirty();
          window.Render(runs.data(), count, shown, 100, 100, 204);
        };
      };
      for (int i = 0; i < 20; ++i) {  // warm-up: glyph caches
        full_paint(no_graph)(i);
        full_paint(graph)(i);
      }
      // The two paints in turn, so that a machine whose load changes weighs on both alike.
      std::vector<double> text_times, graph_times;
      for (int i = 0; i < iterations; ++i) {
        text_times.push_back(Time(1, full_paint(no_graph)).front());
        graph_times.push_back(Time(1, full_paint(graph)).front());
      }
      const double text_only =
          Report(vertical ? "full paint, vertical" : "full paint, horizontal", text_times);
      const double with_graph = Report("  the same with a 240-frame graph", graph_times);
      std::printf("  ratio of the medians, with the graph to without: %.2f\n",
                  with_graph / text_only);
      Report("  of which GDI+ bitmap only", Time(iterations, [&](int) {
               corvane::PaintTextBitmap(runs, no_graph, window.font(), window.font_px(), 204);
             }));
      Report("  of which GDI+ bitmap with graph", Time(iterations, [&](int) {
               corvane::PaintTextBitmap(runs, graph, window.font(), window.font_px(), 204);
             }));
      Report("  of which measuring only", Time(iterations, [&](int) {
               const auto format = corvane::MakeTextFormat();
               corvane::GdiplusCanvas canvas = corvane::MakeMeasuringCanvas();
               corvane::GdiplusMeasurer measurer(canvas.graphics.get(), window.font(),
                                                 format.get());
               corvane::MeasureTextBox(runs, measurer, window.font_px() + 2);
             }));
      Report("quick path, same place", Time(iterations, [&](int) {
               window.Render(runs.data(), count, graph, 100, 100, 204);
             }));
      Report("quick path, moved", Time(iterations, [&](int i) {
               window.Render(runs.data(), count, graph, 101 - (i & 1), 100, 204);
             }));
      window.PumpMessages();
    }
  }
  OverlayWindow::ShutdownGdiplus();
  return 0;
}
