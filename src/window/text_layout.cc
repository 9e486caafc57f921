#include "src/window/text_layout.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace corvane {

bool IsLineBreak(const TextSegment& segment) {
  return segment.text.size() == 1 && segment.text[0] == u'\n';
}

int MulDivRounded(int a, int b, int c) {
  if (c == 0) return -1;
  int64_t product = static_cast<int64_t>(a) * b;
  int64_t divisor = c;
  if (divisor < 0) {
    product = -product;
    divisor = -divisor;
  }
  const int64_t half = divisor / 2;
  const int64_t result = product >= 0 ? (product + half) / divisor : (product - half) / divisor;
  return result > INT_MAX || result < -INT_MAX ? -1 : static_cast<int>(result);
}

int PhysicalPixels(int logical, int dpi) {
  const int physical = MulDivRounded(logical, dpi, kReferenceDpi);
  return physical < 1 ? logical : physical;
}

namespace {

// Half up, truncating toward zero, in double: a float sum would round a width just below a
// half (0.49999997) up to 1.
int RoundedPixels(float value) {
  return static_cast<int>(static_cast<double>(value) + 0.5);
}

}  // namespace

int LineHeight(float font_height, int min_line_height) {
  return std::max(RoundedPixels(font_height), min_line_height);
}

TextBox MeasureTextBox(std::span<const TextSegment> segments, TextMeasurer& measurer,
                       int min_line_height) {
  TextBox box;
  box.line_height = LineHeight(measurer.FontHeight(), min_line_height);
  box.lines = 1;
  int line_width = 0;
  int max_width = 0;
  for (const TextSegment& segment : segments) {
    if (IsLineBreak(segment)) {
      max_width = std::max(max_width, line_width);
      line_width = 0;
      ++box.lines;
    } else {
      line_width += RoundedPixels(measurer.RunWidth(segment.text));
    }
  }
  box.width = std::max(std::max(line_width, max_width) + 2 * kHorizontalMargin, 1);
  box.height = std::max(box.line_height * box.lines + 2 * kVerticalMargin, 1);
  return box;
}

TextBox AddGraphArea(const TextBox& text_box, int font_px) {
  const GraphSize size = GraphSizeFor(font_px);
  TextBox box = text_box;
  const int text_width = std::max(text_box.width - 2 * kHorizontalMargin, 0);
  box.graph.x = kHorizontalMargin;
  box.graph.y = kVerticalMargin + text_box.line_height * text_box.lines + size.gap;
  box.graph.width = std::max(text_width, size.min_width);
  box.graph.height = size.height;
  box.graph.font_px = font_px;
  box.width = box.graph.width + 2 * kHorizontalMargin;
  box.height = box.graph.y + box.graph.height + kVerticalMargin;
  return box;
}

void PaintTextBox(std::span<const TextSegment> segments, const FrameGraph& graph,
                  const TextBox& box, uint8_t alpha, TextPainter& painter) {
  painter.FillBackground(box.width, box.height, BackgroundArgb(alpha));
  float pen_x = kHorizontalMargin;
  float pen_y = kVerticalMargin;
  for (const TextSegment& segment : segments) {
    if (IsLineBreak(segment)) {
      pen_x = kHorizontalMargin;
      pen_y += static_cast<float>(box.line_height);
    } else {
      pen_x += painter.DrawRun(segment.text, pen_x, pen_y, OpaqueArgbFromColorref(segment.color));
    }
  }
  if (box.graph.height <= 0 || !graph.shown()) return;
  const GraphArea& area = box.graph;
  const uint32_t opaque = OpaqueArgbFromColorref(graph.color);
  // The label first: the bars take the room right of it.
  const float label_width =
      painter.DrawGraphLabel(graph.label, static_cast<float>(area.x), static_cast<float>(area.y),
                             GraphLabelPixels(area.font_px), opaque);
  const int label_room = static_cast<int>(std::ceil(label_width)) + GraphLabelGap(area.font_px);
  GraphArea bar_area = area;
  bar_area.x += std::min(label_room, area.width / 2);
  bar_area.width = area.x + area.width - bar_area.x;
  std::vector<GraphBar> bars;
  GraphBars(graph, bar_area, bars);
  if (bars.empty()) return;
  const auto bottom = static_cast<float>(bar_area.y + bar_area.height);
  const auto thickness = static_cast<float>(GraphLineWidth(area.font_px));
  std::vector<GraphPoint> outline;
  GraphOutline(bars, bottom, outline);
  painter.FillGraph(outline, ArgbFromColorref(graph.color, kGraphBodyAlpha));
  if (const auto target = GraphTargetLine(graph, bar_area, thickness)) {
    painter.FillRects(std::span<const GraphRect>(&*target, 1),
                      OpaqueArgbFromColorref(kGraphTargetColorref));
  }
  std::vector<GraphRect> line;
  GraphTopLine(bars, bottom, thickness, line);
  painter.FillRects(line, opaque);
}

uint32_t BackgroundArgb(uint8_t alpha) {
  return (static_cast<uint32_t>(alpha) << 24) | kBackgroundRgb;
}

uint32_t OpaqueArgbFromColorref(uint32_t colorref) {
  return ArgbFromColorref(colorref, 0xFF);
}

uint32_t ArgbFromColorref(uint32_t colorref, uint8_t alpha) {
  const uint32_t red = colorref & 0xFF;
  const uint32_t green = (colorref >> 8) & 0xFF;
  const uint32_t blue = (colorref >> 16) & 0xFF;
  return (static_cast<uint32_t>(alpha) << 24) | (red << 16) | (green << 8) | blue;
}

}  // namespace corvane
