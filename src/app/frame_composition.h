#pragma once
// What one frame of the overlay shows and where: the five rows of figures, the coloured runs
// they become, the hash that tells whether the text changed, the font size a style asks for,
// the box size estimate and the box's place inside the game's client area. Nothing here needs
// a window system; measuring goes through TextMeasurer.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "src/data/perf_snapshot.h"
#include "src/window/frame_graph.h"
#include "src/window/text_layout.h"

namespace corvane {

inline constexpr uint32_t kRefreshIntervalMs = 1000;
inline constexpr uint32_t kZOrderIntervalMs = 250;
inline constexpr wchar_t kOverlayFontFamily[] = L"Microsoft YaHei";
inline constexpr uint32_t kSeparatorColorref = 0x808080;

// Style sizes below the smallest become 12, not 10. Sizes above the largest are taken as the
// largest: no real style asks for more, and a box of a few thousand pixels per character would
// cost a bitmap of hundreds of megabytes on every repaint.
inline constexpr int kSmallestFontSize = 10;
inline constexpr int kSmallFontReplacement = 12;
inline constexpr int kLargestFontSize = 128;

// The estimate's lines are at least this much higher than the font's pixel size.
inline constexpr int kEstimateExtraLineHeight = 4;

inline constexpr size_t kRowCount = 5;
inline constexpr size_t kSegmentCount = 3 * kRowCount - 1;  // label, value, and separators

// A piece of a row's value text and the figure that chooses its colour under the row's
// thresholds: the figure as the text shows it (a frame rate of 29.6 shows, and counts, as 30),
// and for RAM the used share in percent. None: a fallback or a low's label, which keep the
// text's colour.
struct ValuePiece {
  size_t length = 0;  // UTF-16 units
  std::optional<double> figure;
};

struct RowText {
  std::u16string_view label;  // "FPS", "GPU", ...
  std::u16string value;
  // The value in pieces, in order: one, or for the FPS row with lows the frame rate, each
  // low's label and each low. Empty: the value is one piece without a figure.
  std::vector<ValuePiece> pieces;
};
using FrameRows = std::array<RowText, kRowCount>;

// The texts of the five rows. A figure whose text would not fit its row (only absurd figures
// do, such as 1e300) shows the row's fallback instead. When the host gives the 1% and 0.1%
// lows, the FPS row shows each after the frame rate with its label: "60 1% 41 0.1% 30".
FrameRows FormatRows(const PerfSnapshot& snapshot);
// Every row's fallback text: what the rows show while the figures are stale.
FrameRows FallbackRows();

// The runs of the rows: each label with one space after it and each value in the style's
// colour, and between rows a separator in grey: " | ", or a line break when the style's
// direction is exactly "ver". A row that the style's "colors" gives thresholds has each piece
// of its value in a run of its own, a piece with a figure in the figure's colour. `segments`
// is refilled, keeping its storage.
void BuildSegments(const FrameRows& rows, const UiStyle& style, std::vector<TextSegment>& segments);

// FNV-1a 64 over the UTF-16 units of one text.
uint64_t HashText(std::u16string_view text);
// The texts' hashes combined in order; the colours do not count.
uint64_t HashSegments(std::span<const TextSegment> segments);

// The rows, their runs, the frame-time graph and the hash of what sizes the box (the runs'
// texts, and whether there is a graph), made anew only when the figures or the style do.
struct ComposedFrame {
  FrameRows rows;
  std::vector<TextSegment> segments;
  FrameGraph graph;  // shown for this game's frame times; none while the figures are stale
  uint64_t hash = 0;
  // What else sizes the box and makes a new box apply at once: the style, when it changes.
  uint64_t style_hash = 0;
};
void ComposeFrame(const PerfSnapshot& snapshot, const UiStyle& style, ComposedFrame& frame);
// Rows without a graph, such as the fallbacks of stale figures.
void ComposeFrame(const FrameRows& rows, const UiStyle& style, ComposedFrame& frame);

// The font size in 96 DPI pixels for a style's size.
int EffectiveFontSize(int32_t style_font_size);

// A style's 0x00RRGGBB as a COLORREF, 0x00BBGGRR.
uint32_t ColorrefFromRgb(uint32_t rgb);

struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct ScreenPoint {
  int x = 0;
  int y = 0;
};

// 1% of the client area's width and height, in single precision, truncated.
ScreenPoint ClientMargins(int width, int height);

// Where a box of the given size goes inside the client area for a style's `pos` word.
ScreenPoint PlaceBox(std::string_view pos, const ScreenRect& client, int box_width, int box_height);

// The physical pixel size the estimate measures with: the effective size at `dpi`, or the
// effective size itself when that comes out below 1 or beyond any screen's DPI.
int EstimatePixelSize(int effective_size, int dpi);

// The box size for the runs measured at `pixel_size`: widest line plus 16, lines times the
// line height plus 8, with lines at least pixel_size + 4 high.
TextBox EstimateTextBox(std::span<const TextSegment> segments, TextMeasurer& measurer,
                        int pixel_size);

// The estimated text box grown by the frame's graph, when it shows one, at `pixel_size`.
TextBox WithFrameGraph(const TextBox& text_box, const ComposedFrame& frame, int pixel_size);

// A hash of everything in a style.
uint64_t HashStyle(const UiStyle& style);

// How long a horizontal box stays wider than its text needs before it narrows.
inline constexpr uint32_t kBoxNarrowsAfterMs = 3000;

// The width of a horizontal box that does not move with every digit a figure gains or loses:
// it widens at once, and narrows only once its text has needed less for kBoxNarrowsAfterMs,
// then to the widest the text needed in that time. A new `key` (a new style or font size, a
// change between live and stale figures) takes the text's width at once.
class SteadyBoxWidth {
 public:
  // The box's width for a text that needs `width`, at tick `now` (milliseconds, wrapping).
  int Take(int width, uint64_t key, uint32_t now);
  // Forgets the width held: the next Take starts anew.
  void Reset() { width_ = 0; }

 private:
  int width_ = 0;
  uint64_t key_ = 0;
  bool narrower_ = false;  // the text has needed less than width_ since narrower_since_
  uint32_t narrower_since_ = 0;
  int widest_while_narrower_ = 0;
};

}  // namespace corvane
