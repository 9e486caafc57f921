#pragma once
// The arithmetic of the overlay's text box: line breaks, run widths, line height, box size,
// pen positions and colours. It knows nothing of the drawing library: measuring and painting
// go through the two small interfaces below, which the window implements with GDI+ and tests
// with fakes.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "src/window/frame_graph.h"

namespace corvane {

// One run of UTF-16 text in a COLORREF colour (0x00BBGGRR). A run that is exactly U+000A is a
// line break: never measured or drawn, the runs after it start a new line.
struct TextSegment {
  std::u16string text;
  uint32_t color = 0;
};

bool IsLineBreak(const TextSegment& segment);

inline constexpr int kReferenceDpi = 96;
inline constexpr int kHorizontalMargin = 8;             // on each side of the widest line
inline constexpr int kVerticalMargin = 4;               // above the first line and below the last
inline constexpr uint32_t kBackgroundRgb = 0x00232328;  // (35, 35, 40)

class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  // The font's line spacing in pixels; 0 when it cannot be had.
  virtual float FontHeight() = 0;
  // The bounding width of one run; 0 when it cannot be measured.
  virtual float RunWidth(std::u16string_view text) = 0;
};

class TextPainter {
 public:
  virtual ~TextPainter() = default;
  virtual void FillBackground(int width, int height, uint32_t argb) = 0;
  // Draws one run with its top-left corner at (x, y) and returns its unrounded width.
  virtual float DrawRun(std::u16string_view text, float x, float y, uint32_t argb) = 0;
  // Fills the polygon of the frame-time graph's bars.
  virtual void FillGraph(std::span<const GraphPoint> outline, uint32_t argb) = 0;
  // Fills the graph's lines, each a rectangle.
  virtual void FillRects(std::span<const GraphRect> rects, uint32_t argb) = 0;
  // Draws the graph's label in the text's font at `pixel_size` with its top-left corner at
  // (x, y) and returns its unrounded width.
  virtual float DrawGraphLabel(std::u16string_view text, float x, float y, int pixel_size,
                               uint32_t argb) = 0;
};

struct TextBox {
  int line_height = 0;
  int lines = 0;
  int width = 0;
  int height = 0;
  GraphArea graph;  // height 0: no frame-time graph
};

// Win32's MulDiv: a * b / c rounded half away from zero; -1 when c is 0 or the result does
// not fit an int.
int MulDivRounded(int a, int b, int c);

// A size in logical (96 DPI) pixels as physical pixels at `dpi`; the logical size itself when
// that comes out below 1.
int PhysicalPixels(int logical, int dpi);

// The rounded line spacing, but never less than `min_line_height`.
int LineHeight(float font_height, int min_line_height);

// Measures every run; the box fits the widest line plus the margins.
TextBox MeasureTextBox(std::span<const TextSegment> segments, TextMeasurer& measurer,
                       int min_line_height);

// The text's box grown to hold the frame-time graph for a font of `font_px` physical pixels:
// under the last line, after a gap, as wide as the widest line but at least the graph's least
// width, with the same margins around it.
TextBox AddGraphArea(const TextBox& text_box, int font_px);

// Fills the box with the background at `alpha` and draws the runs line by line, each after
// the previous one without a gap; then, when the box has a graph area and the graph is shown,
// the graph in its colour: the scale's label in the area's top-left corner, and right of it
// the bars' faint bodies, the target's line and the full-strength line along the bars' tops.
void PaintTextBox(std::span<const TextSegment> segments, const FrameGraph& graph,
                  const TextBox& box, uint8_t alpha, TextPainter& painter);

// The background's ARGB colour at the given opacity.
uint32_t BackgroundArgb(uint8_t alpha);
// An opaque ARGB colour from a COLORREF (0x00BBGGRR).
uint32_t OpaqueArgbFromColorref(uint32_t colorref);
// An ARGB colour from a COLORREF at an opacity.
uint32_t ArgbFromColorref(uint32_t colorref, uint8_t alpha);

}  // namespace corvane
