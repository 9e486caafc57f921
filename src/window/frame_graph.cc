#include "src/window/frame_graph.h"

#include <algorithm>
#include <cmath>

namespace corvane {
namespace {

int Ems(double ems, int font_px) {
  return static_cast<int>(std::lround(ems * font_px));
}

}  // namespace

double FrameGraphScale(std::span<const double> frame_ms) {
  if (frame_ms.empty()) return kSmallestGraphScaleMs;
  std::vector<double> sorted(frame_ms.begin(), frame_ms.end());
  std::sort(sorted.begin(), sorted.end());
  const size_t middle = sorted.size() / 2;
  const double median =
      sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2.0;
  return std::max({2.0 * median, sorted.back(), kSmallestGraphScaleMs});
}

void MakeFrameGraph(std::span<const double> frame_ms, uint32_t colorref, FrameGraph& graph) {
  graph.color = colorref;
  if (frame_ms.size() < kMinGraphFrames) {
    graph.frame_ms.clear();
    graph.scale_ms = 0.0;
    return;
  }
  graph.frame_ms.assign(frame_ms.begin(), frame_ms.end());
  graph.scale_ms = FrameGraphScale(frame_ms);
}

GraphSize GraphSizeFor(int font_px) {
  return {Ems(kGraphHeightEm, font_px), Ems(kGraphGapEm, font_px), Ems(kGraphMinWidthEm, font_px)};
}

void GraphOutline(const FrameGraph& graph, const GraphArea& area,
                  std::vector<GraphPoint>& outline) {
  outline.clear();
  const size_t frames = graph.frame_ms.size();
  if (frames == 0 || area.width <= 0 || area.height <= 0 || !(graph.scale_ms > 0)) return;
  const double bar_width = static_cast<double>(area.width) / static_cast<double>(frames);
  const auto bottom = static_cast<float>(area.y + area.height);
  const auto left_of = [&](size_t bar) {
    return static_cast<float>(area.x + bar_width * static_cast<double>(bar));
  };
  outline.reserve(2 * frames + 2);
  outline.push_back({left_of(0), bottom});
  for (size_t i = 0; i < frames; ++i) {
    const double share = std::clamp(graph.frame_ms[i] / graph.scale_ms, 0.0, 1.0);
    const auto top = static_cast<float>(area.y + area.height * (1.0 - share));
    outline.push_back({left_of(i), top});
    outline.push_back({left_of(i + 1), top});
  }
  outline.push_back({left_of(frames), bottom});
}

}  // namespace corvane
