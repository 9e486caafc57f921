#pragma once
// The frame-time graph under the overlay's text: one bar per frame, oldest on the left and
// newest on the right, each as high as its time in the graph's scale, which runs from 0 ms at
// the bottom to the larger of twice the median frame and the longest frame at the top. So a
// steady game fills half the height and a stutter stands out as a spike. The graph is sized in
// ems of the font's pixel size, which already holds the DPI: it scales with the text.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace corvane {

// Fewer frames than this draw no graph.
inline constexpr size_t kMinGraphFrames = 2;
// The graph's height, its gap below the last line of text and its least width, in ems.
inline constexpr double kGraphHeightEm = 2.5;
inline constexpr double kGraphGapEm = 0.25;
inline constexpr double kGraphMinWidthEm = 16.0;
// A graph of frames that all took no time still has a scale to divide by.
inline constexpr double kSmallestGraphScaleMs = 1.0;

struct FrameGraph {
  std::vector<double> frame_ms;  // oldest first
  double scale_ms = 0.0;         // the time at the top of the graph
  uint32_t color = 0;            // COLORREF 0x00BBGGRR, the text's colour

  bool shown() const { return frame_ms.size() >= kMinGraphFrames; }
};

// The graph's scale for these frame times: the larger of twice their median (of an even
// count, the mean of the two middle ones) and the longest, and at least the smallest scale.
double FrameGraphScale(std::span<const double> frame_ms);

// The graph of these frame times in a COLORREF colour, or an empty graph when there are too
// few. `graph` keeps its storage.
void MakeFrameGraph(std::span<const double> frame_ms, uint32_t colorref, FrameGraph& graph);

// Where the graph lies in the box, in pixels from the box's top-left corner; height 0 when the
// box has no graph.
struct GraphArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Its height, the gap above it and its least width at a font's physical pixel size.
struct GraphSize {
  int height = 0;
  int gap = 0;
  int min_width = 0;
};
GraphSize GraphSizeFor(int font_px);

struct GraphPoint {
  float x = 0;
  float y = 0;
};

// The outline of the bars as one polygon (no seams between neighbours): up from the area's
// bottom-left corner, along the top of each bar in turn, and down at the bottom-right corner.
// A frame longer than the scale reaches the top. `outline` is refilled.
void GraphOutline(const FrameGraph& graph, const GraphArea& area, std::vector<GraphPoint>& outline);

}  // namespace corvane
