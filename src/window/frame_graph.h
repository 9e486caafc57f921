#pragma once
// The frame-time graph under the overlay's text: oldest frame on the left, newest on the right,
// each as high as its time in the graph's scale, which runs from 0 ms at the bottom to the
// scale at the top. The scale is twice the median frame rounded up to a step of a fixed series
// (so a steady game fills about half the height, a stutter stands out as a spike clipped at
// the top, and the scale does not change with every spike or every second), or exactly twice
// the frame time the game aims at when the host gives one. A small label in the graph's
// top-left corner tells the scale ("40 ms"). The graph is sized in ems of the font's pixel
// size, which already holds the DPI: it scales with the text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvane {

// Fewer frames than this draw no graph.
inline constexpr size_t kMinGraphFrames = 2;
// The graph's height, its gap below the last line of text and its least width, in ems.
inline constexpr double kGraphHeightEm = 2.5;
inline constexpr double kGraphGapEm = 0.25;
inline constexpr double kGraphMinWidthEm = 16.0;
// The scale's label: its font size in ems, but at least the smaller of the font's size and
// this many pixels, so that it stays readable beside a small text; the gap after it.
inline constexpr double kGraphLabelEm = 0.75;
inline constexpr int kGraphLabelMinPx = 10;
inline constexpr double kGraphLabelGapEm = 0.25;
// The line along the bars' tops (and the target's line): this thick, at least one pixel.
inline constexpr double kGraphLineEm = 1.0 / 14.0;
// The bars' bodies are drawn at this share of the text's opacity, under a full-strength line.
inline constexpr uint32_t kGraphBodyAlpha = 0x60;
// The target's line, in the separators' grey (COLORREF).
inline constexpr uint32_t kGraphTargetColorref = 0x808080;
// The smallest scale, and the scale of a graph whose frames all took no time.
inline constexpr double kSmallestGraphScaleMs = 1.0;
// The scale goes down a step only once twice the median is this share of the lower step or
// less: a median that wavers about a step's edge does not move the scale every second.
inline constexpr double kScaleDownShare = 0.9;

struct FrameGraph {
  std::vector<double> frame_ms;     // oldest first
  double scale_ms = 0.0;            // the time at the top of the graph
  std::optional<double> target_ms;  // the frame time the game aims at, marked by a line
  std::u16string label;             // the scale, "40 ms"
  uint32_t color = 0;               // COLORREF 0x00BBGGRR, the text's colour

  bool shown() const { return frame_ms.size() >= kMinGraphFrames; }
};

// The smallest step of the scale's series (1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6, 8 times a power of
// ten, from 1 ms on) that is at least `ms`.
double GraphScaleStepAtLeast(double ms);

// The graph's scale for these frame times: twice the given target when there is one; else twice
// their median (of an even count, the mean of the two middle ones) rounded up to a step. A
// `previous` scale of a step is kept while twice the median still fits under it and is above
// kScaleDownShare of the step below.
double FrameGraphScale(std::span<const double> frame_ms, std::optional<double> target_ms,
                       double previous = 0.0);

// The label of a scale: "40 ms", "1.5 ms", "33.3 ms".
std::u16string GraphScaleLabel(double scale_ms);

// The graph of these frame times in a COLORREF colour, or an empty graph when there are too
// few. `graph` keeps its storage, and its scale as the previous one.
void MakeFrameGraph(std::span<const double> frame_ms, std::optional<double> target_ms,
                    uint32_t colorref, FrameGraph& graph);

// Where the graph lies in the box, in pixels from the box's top-left corner; height 0 when the
// box has no graph.
struct GraphArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int font_px = 0;  // the text's physical pixel size the graph is sized for
};

// Its height, the gap above it and its least width at a font's physical pixel size.
struct GraphSize {
  int height = 0;
  int gap = 0;
  int min_width = 0;
};
GraphSize GraphSizeFor(int font_px);

// The label's font size, the gap after it and the lines' thickness, in pixels, at a font's
// physical pixel size.
int GraphLabelPixels(int font_px);
int GraphLabelGap(int font_px);
int GraphLineWidth(int font_px);

struct GraphPoint {
  float x = 0;
  float y = 0;
};

// One bar as drawn: its left and right edges and its top.
struct GraphBar {
  float left = 0;
  float right = 0;
  float top = 0;
};

// The bars in the area: one per frame while there are no more frames than pixel columns, else
// one per pixel column, as high as the longest frame that falls in it, so that no frame is
// lost between columns. A frame longer than the scale reaches the top. `bars` is refilled.
void GraphBars(const FrameGraph& graph, const GraphArea& area, std::vector<GraphBar>& bars);

// The bars' outline as one polygon (no seams between neighbours): up from the area's
// bottom-left corner, along the top of each bar in turn, and down at the bottom-right corner.
void GraphOutline(std::span<const GraphBar> bars, float bottom, std::vector<GraphPoint>& outline);

struct GraphRect {
  float x = 0;
  float y = 0;
  float width = 0;
  float height = 0;
};

// The line along the bars' tops, `thickness` high, inside the bars and above `bottom`: a level
// piece on each bar and an upright one wherever neighbours differ. `line` is refilled.
void GraphTopLine(std::span<const GraphBar> bars, float bottom, float thickness,
                  std::vector<GraphRect>& line);

// The target's line across the area, `thickness` high, at the target's height; none without
// a target.
std::optional<GraphRect> GraphTargetLine(const FrameGraph& graph, const GraphArea& area,
                                         float thickness);

}  // namespace corvane
