#include "src/window/frame_graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace corvane {
namespace {

// The series' steps within a power of ten.
constexpr double kStepMultiples[] = {1.0, 1.2, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0};
constexpr int kStepsPerDecade = static_cast<int>(std::size(kStepMultiples));
// Far beyond any frame: the longest frame kept is a minute.
constexpr int kLastStep = 8 * kStepsPerDecade;

int Ems(double ems, int font_px) {
  return static_cast<int>(std::lround(ems * font_px));
}

// Step k of the series: step 0 is the smallest scale, 1 ms.
double Step(int k) {
  return kStepMultiples[k % kStepsPerDecade] * std::pow(10.0, k / kStepsPerDecade);
}

// The first step at least `ms` (with room for the rounding of the steps' own arithmetic).
int StepIndexAtLeast(double ms) {
  for (int k = 0; k < kLastStep; ++k) {
    if (ms <= Step(k) * (1.0 + 1e-12)) return k;
  }
  return kLastStep;
}

double Median(std::span<const double> frame_ms) {
  std::vector<double> sorted(frame_ms.begin(), frame_ms.end());
  std::sort(sorted.begin(), sorted.end());
  const size_t middle = sorted.size() / 2;
  return sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2.0;
}

}  // namespace

double GraphScaleStepAtLeast(double ms) {
  return Step(StepIndexAtLeast(ms));
}

double FrameGraphScale(std::span<const double> frame_ms, std::optional<double> target_ms,
                       double previous) {
  if (target_ms) return 2.0 * *target_ms;
  if (frame_ms.empty()) return kSmallestGraphScaleMs;
  const double twice_median = 2.0 * Median(frame_ms);
  const int step = StepIndexAtLeast(twice_median);
  const int previous_step = StepIndexAtLeast(previous);
  const bool previous_is_a_step = previous > 0 && Step(previous_step) == previous;
  if (previous_is_a_step && previous_step == step + 1 &&
      twice_median > kScaleDownShare * Step(step)) {
    return previous;
  }
  return Step(step);
}

std::u16string GraphScaleLabel(double scale_ms) {
  char text[32];
  std::snprintf(text, sizeof(text), scale_ms >= 10.0 ? "%.0f" : "%.1f", scale_ms);
  std::string digits = text;
  if (digits.ends_with(".0")) digits.resize(digits.size() - 2);
  std::u16string label(digits.begin(), digits.end());  // ASCII digits and a point
  return label + u" ms";
}

void MakeFrameGraph(std::span<const double> frame_ms, std::optional<double> target_ms,
                    uint32_t colorref, FrameGraph& graph) {
  graph.color = colorref;
  if (frame_ms.size() < kMinGraphFrames) {
    graph.frame_ms.clear();
    graph.scale_ms = 0.0;
    graph.target_ms.reset();
    graph.label.clear();
    return;
  }
  graph.frame_ms.assign(frame_ms.begin(), frame_ms.end());
  graph.scale_ms = FrameGraphScale(frame_ms, target_ms, graph.target_ms ? 0.0 : graph.scale_ms);
  graph.target_ms = target_ms;
  graph.label = GraphScaleLabel(graph.scale_ms);
}

GraphSize GraphSizeFor(int font_px) {
  return {Ems(kGraphHeightEm, font_px), Ems(kGraphGapEm, font_px), Ems(kGraphMinWidthEm, font_px)};
}

int GraphLabelPixels(int font_px) {
  return std::max(Ems(kGraphLabelEm, font_px), std::min(font_px, kGraphLabelMinPx));
}

int GraphLabelGap(int font_px) {
  return Ems(kGraphLabelGapEm, font_px);
}

int GraphLineWidth(int font_px) {
  return std::max(Ems(kGraphLineEm, font_px), 1);
}

void GraphBars(const FrameGraph& graph, const GraphArea& area, std::vector<GraphBar>& bars) {
  bars.clear();
  const size_t frames = graph.frame_ms.size();
  if (frames == 0 || area.width <= 0 || area.height <= 0 || !(graph.scale_ms > 0)) return;
  const auto top_of = [&](double ms) {
    const double share = std::clamp(ms / graph.scale_ms, 0.0, 1.0);
    return static_cast<float>(area.y + area.height * (1.0 - share));
  };
  const auto columns = static_cast<size_t>(area.width);
  if (frames <= columns) {
    // Each bar at least a pixel wide: each covers a pixel's centre and is drawn.
    const double bar_width = static_cast<double>(area.width) / static_cast<double>(frames);
    const auto left_of = [&](size_t bar) {
      return static_cast<float>(area.x + bar_width * static_cast<double>(bar));
    };
    for (size_t i = 0; i < frames; ++i)
      bars.push_back({left_of(i), left_of(i + 1), top_of(graph.frame_ms[i])});
    return;
  }
  // More frames than columns: column c holds frames c * frames / columns up to the next
  // column's first, at least one each, and shows the longest of them.
  for (size_t c = 0; c < columns; ++c) {
    const size_t first = c * frames / columns;
    const size_t end = (c + 1) * frames / columns;
    const double longest = *std::max_element(graph.frame_ms.begin() + static_cast<ptrdiff_t>(first),
                                             graph.frame_ms.begin() + static_cast<ptrdiff_t>(end));
    const auto left = static_cast<float>(area.x + static_cast<int>(c));
    bars.push_back({left, left + 1.0f, top_of(longest)});
  }
}

void GraphOutline(std::span<const GraphBar> bars, float bottom, std::vector<GraphPoint>& outline) {
  outline.clear();
  if (bars.empty()) return;
  outline.reserve(2 * bars.size() + 2);
  outline.push_back({bars.front().left, bottom});
  for (const GraphBar& bar : bars) {
    outline.push_back({bar.left, bar.top});
    outline.push_back({bar.right, bar.top});
  }
  outline.push_back({bars.back().right, bottom});
}

void GraphTopLine(std::span<const GraphBar> bars, float bottom, float thickness,
                  std::vector<GraphRect>& line) {
  line.clear();
  // A bar of no height still shows its line, lying on the bottom.
  const auto line_top = [&](const GraphBar& bar) { return std::min(bar.top, bottom - thickness); };
  for (size_t i = 0; i < bars.size(); ++i) {
    const GraphBar& bar = bars[i];
    const float top = line_top(bar);
    line.push_back({bar.left, top, bar.right - bar.left, thickness});
    if (i + 1 == bars.size()) continue;
    const GraphBar& next = bars[i + 1];
    const float next_top = line_top(next);
    if (next_top == top) continue;
    // Upright between this top and the next, inside the higher bar (the one with the smaller
    // top), so that it never stands over a lower bar's empty space.
    const float high = std::min(top, next_top);
    const float low = std::max(top, next_top);
    const float x = next_top < top ? next.left : bar.right - thickness;
    line.push_back({x, high, thickness, low - high + thickness});
  }
}

std::optional<GraphRect> GraphTargetLine(const FrameGraph& graph, const GraphArea& area,
                                         float thickness) {
  if (!graph.target_ms || !(graph.scale_ms > 0) || area.width <= 0 || area.height <= 0) {
    return std::nullopt;
  }
  const double share = std::clamp(*graph.target_ms / graph.scale_ms, 0.0, 1.0);
  const double middle = area.y + area.height * (1.0 - share);
  return GraphRect{static_cast<float>(area.x), static_cast<float>(middle - thickness / 2.0),
                   static_cast<float>(area.width), thickness};
}

}  // namespace corvane
