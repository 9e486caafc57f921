#include "src/app/frame_composition.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

#include "base/strings/utf.h"

namespace corvane {
namespace {

static_assert(kRowCount == kColorRowCount, "a style's colours are kept for each row");

// Capacities of the value texts in UTF-16 units, the terminating null included. The FPS row
// has this for the frame rate and as much again for each low.
constexpr size_t kFpsCapacity = 16;
constexpr size_t kGpuCapacity = 64;
constexpr size_t kFigureCapacity = 32;

// Each row's text when its figure is missing or stale.
constexpr std::u16string_view kFpsNone = u"--";
constexpr std::u16string_view kPercentNone = u"--%";
constexpr std::u16string_view kRamNone = u"--/--GB";

constexpr double kBytesPerGiB = 1024.0 * 1024.0 * 1024.0;
constexpr int kLargestPixelSize = kLargestFontSize * 10;  // ten times 96 DPI

constexpr uint64_t kFnvOffsetBasis = 0xCBF29CE484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001B3ull;
constexpr uint64_t kGoldenRatio = 0x9E3779B97F4A7C15ull;

// FNV-1a over a text's code units.
template <typename Unit>
uint64_t Fnv1a(std::basic_string_view<Unit> text) {
  uint64_t hash = kFnvOffsetBasis;
  for (const Unit unit : text) {
    hash ^= static_cast<std::make_unsigned_t<Unit>>(unit);
    hash *= kFnvPrime;
  }
  return hash;
}

// Folds `value` into `seed`, so that the order of the values counts.
uint64_t Combine(uint64_t seed, uint64_t value) {
  return seed ^ (value + kGoldenRatio + (seed << 6) + (seed >> 2));
}
// Combined into the runs' hash when the frame has a graph, which makes the box taller.
constexpr std::u16string_view kGraphHashMark = u"\x0001frame-time graph";

// The C library's wide formatted print into a buffer of the row's capacity. A text that does
// not fit (the library reports that as a negative count) gives the row's fallback, so an
// absurd figure never shows as a cut number that reads like a real one.
template <size_t Capacity, typename... Args>
std::u16string FormatFigure(std::u16string_view fallback, const wchar_t* format, Args... args) {
  wchar_t buffer[Capacity];
  const int written = std::swprintf(buffer, Capacity, format, args...);
  if (written < 0 || static_cast<size_t>(written) >= Capacity) return std::u16string(fallback);
  return base::WideToUtf16(std::wstring_view(buffer, static_cast<size_t>(written)));
}

// A value text's piece, appended with the figure it shows.
void AppendPiece(RowText& row, std::u16string_view text, std::optional<double> figure) {
  row.value.append(text);
  row.pieces.push_back({text.size(), figure});
}

// The number a figure's text begins with, as the text shows it.
double ShownFigure(std::u16string_view text) {
  std::string ascii;
  for (const char16_t unit : text) ascii.push_back(unit < 0x80 ? static_cast<char>(unit) : ' ');
  return std::strtod(ascii.c_str(), nullptr);
}

// A row of one piece: the figure's text, or the fallback (without a figure) in its place.
RowText FigureRow(std::u16string_view label, std::u16string text, std::u16string_view fallback,
                  std::optional<double> figure) {
  RowText row{label, {}, {}};
  if (text == fallback) figure.reset();
  AppendPiece(row, text, figure);
  return row;
}

RowText Fallback(std::u16string_view label, std::u16string_view fallback) {
  return FigureRow(label, std::u16string(fallback), fallback, std::nullopt);
}

// " 1% 41": a low after its label; nothing when the host gave none or it does not fit.
void AppendLow(RowText& row, std::u16string_view label, const std::optional<double>& low) {
  if (!low) return;
  const std::u16string figure = FormatFigure<kFpsCapacity>(u"", L"%.0f", *low);
  if (figure.empty()) return;
  AppendPiece(row, label, std::nullopt);
  AppendPiece(row, figure, ShownFigure(figure));
}

RowText FpsRow(const PerfSnapshot& s) {
  if (!s.fps_valid || !(s.fps_cur > 0)) return Fallback(u"FPS", kFpsNone);
  const std::u16string text = FormatFigure<kFpsCapacity>(kFpsNone, L"%.0f", s.fps_cur);
  RowText row = FigureRow(u"FPS", text, kFpsNone, ShownFigure(text));
  if (text == kFpsNone) return row;
  AppendLow(row, u" 1% ", s.fps_low1);
  AppendLow(row, u" 0.1% ", s.fps_low01);
  return row;
}

RowText GpuRow(const PerfSnapshot& s) {
  if (!s.gpu_valid) return Fallback(u"GPU", kPercentNone);
  std::u16string text =
      FormatFigure<kGpuCapacity>(kPercentNone, L"%.1f%% %.1f/%.1fGB", s.gpu,
                                 s.gpu_mem_used / kBytesPerGiB, s.gpu_mem_total / kBytesPerGiB);
  const double load = ShownFigure(text);
  return FigureRow(u"GPU", std::move(text), kPercentNone, load);
}

RowText CpuRow(const PerfSnapshot& s) {
  std::u16string text = FormatFigure<kFigureCapacity>(kPercentNone, L"%.1f%%", s.cpu);
  const double load = ShownFigure(text);
  return FigureRow(u"CPU", std::move(text), kPercentNone, load);
}

RowText RamRow(const PerfSnapshot& s) {
  if (!(s.mem_total > 0)) return Fallback(u"RAM", kRamNone);
  // Both figures in whole MiB, rounded up; used may come out negative.
  const double total = std::ceil(s.mem_total) / 1024.0;
  const double used = total - std::ceil(s.mem_free) / 1024.0;
  return FigureRow(u"RAM", FormatFigure<kFigureCapacity>(kRamNone, L"%.1f/%.1fGB", used, total),
                   kRamNone, 100.0 * used / total);
}

RowText IoRow(const PerfSnapshot& s) {
  if (!s.disk_valid) return Fallback(u"IO", kPercentNone);
  std::u16string text = FormatFigure<kFigureCapacity>(kPercentNone, L"%.1f%%", s.disk_used);
  const double busy = ShownFigure(text);
  return FigureRow(u"IO", std::move(text), kPercentNone, busy);
}

void SetSegment(std::vector<TextSegment>& segments, size_t index, std::u16string_view text,
                uint32_t color) {
  if (segments.size() <= index) segments.resize(index + 1);
  segments[index].text.assign(text);  // keeps the run's storage from the frame before
  segments[index].color = color;
}

int ClampToInt(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

FrameRows FormatRows(const PerfSnapshot& snapshot) {
  return {FpsRow(snapshot), GpuRow(snapshot), CpuRow(snapshot), RamRow(snapshot), IoRow(snapshot)};
}

FrameRows FallbackRows() {
  return {Fallback(u"FPS", kFpsNone), Fallback(u"GPU", kPercentNone),
          Fallback(u"CPU", kPercentNone), Fallback(u"RAM", kRamNone),
          Fallback(u"IO", kPercentNone)};
}

void BuildSegments(const FrameRows& rows, const UiStyle& style,
                   std::vector<TextSegment>& segments) {
  const uint32_t value_color = ColorrefFromRgb(style.font_color);
  const std::u16string_view separator = style.direction == "ver" ? u"\n" : u" | ";
  size_t index = 0;
  std::u16string label;
  for (size_t r = 0; r < rows.size(); ++r) {
    const RowText& row = rows[r];
    if (index > 0) SetSegment(segments, index++, separator, kSeparatorColorref);
    label.assign(row.label).push_back(u' ');
    SetSegment(segments, index++, label, value_color);
    const ColorThresholds& thresholds = style.colors[r];
    if (thresholds.empty() || row.pieces.empty()) {
      SetSegment(segments, index++, row.value, value_color);  // one run, as without colours
      continue;
    }
    size_t begin = 0;
    for (const ValuePiece& piece : row.pieces) {
      const uint32_t color =
          piece.figure ? ColorrefFromRgb(thresholds.ColorOf(*piece.figure)) : value_color;
      SetSegment(segments, index++, std::u16string_view(row.value).substr(begin, piece.length),
                 color);
      begin += piece.length;
    }
  }
  segments.resize(index);
}

uint64_t HashText(std::u16string_view text) {
  return Fnv1a(text);
}

uint64_t HashSegments(std::span<const TextSegment> segments) {
  uint64_t seed = kFnvOffsetBasis;
  for (const TextSegment& segment : segments) seed = Combine(seed, HashText(segment.text));
  return seed;
}

namespace {

void HashFrame(ComposedFrame& frame) {
  frame.hash = HashSegments(frame.segments);
  if (frame.graph.shown()) {
    frame.hash = Combine(frame.hash, HashText(kGraphHashMark));
  }
}

}  // namespace

void ComposeFrame(const PerfSnapshot& snapshot, const UiStyle& style, ComposedFrame& frame) {
  frame.rows = FormatRows(snapshot);
  BuildSegments(frame.rows, style, frame.segments);
  // The graph belongs to this game's entry: none when the last read found no entry for it.
  const std::span<const double> frame_ms =
      snapshot.fps_valid ? std::span<const double>(snapshot.frame_ms) : std::span<const double>();
  MakeFrameGraph(frame_ms, snapshot.fps_target_ms, ColorrefFromRgb(style.font_color), frame.graph);
  HashFrame(frame);
  frame.style_hash = HashStyle(style);
}

void ComposeFrame(const FrameRows& rows, const UiStyle& style, ComposedFrame& frame) {
  frame.rows = rows;
  BuildSegments(frame.rows, style, frame.segments);
  MakeFrameGraph({}, std::nullopt, ColorrefFromRgb(style.font_color), frame.graph);
  HashFrame(frame);
  frame.style_hash = HashStyle(style);
}

int EffectiveFontSize(int32_t style_font_size) {
  if (style_font_size < kSmallestFontSize) return kSmallFontReplacement;
  return std::min(style_font_size, kLargestFontSize);
}

uint32_t ColorrefFromRgb(uint32_t rgb) {
  const uint32_t red = (rgb >> 16) & 0xFF;
  const uint32_t green = (rgb >> 8) & 0xFF;
  const uint32_t blue = rgb & 0xFF;
  return red | (green << 8) | (blue << 16);
}

ScreenPoint ClientMargins(int width, int height) {
  return {static_cast<int>(static_cast<float>(width) * 0.01f),
          static_cast<int>(static_cast<float>(height) * 0.01f)};
}

ScreenPoint PlaceBox(std::string_view pos, const ScreenRect& client, int box_width,
                     int box_height) {
  const auto has = [pos](std::string_view word) { return pos.find(word) != pos.npos; };
  const bool top = has("top"), bottom = has("bottom"), left = has("left"), right = has("right");
  const ScreenPoint margin = ClientMargins(client.width, client.height);
  // In 64 bits: the client area and the box come from other processes and may be anything.
  const int64_t gx = client.x, gy = client.y, gw = client.width, gh = client.height;
  const int64_t w = box_width, h = box_height;

  int64_t x = gx + margin.x;
  if (left) {
    x = gx + margin.x;
  } else if (right) {
    x = gx + gw - w - margin.x;
  } else if (has("center") || top || bottom) {
    x = gx + (gw - w) / 2;
  }
  int64_t y = gy + margin.y;
  if (top) {
    y = gy + margin.y;
  } else if (bottom) {
    y = gy + gh - h - margin.y;
  } else if (has("middle") || left || right) {
    y = gy + (gh - h) / 2;
  }
  // Never left of or above the client area; the right and bottom edges are not corrected.
  if (x < gx) x = gx + margin.x;
  if (y < gy) y = gy + margin.y;
  return {ClampToInt(x), ClampToInt(y)};
}

int EstimatePixelSize(int effective_size, int dpi) {
  const int pixels = MulDivRounded(effective_size, dpi, kReferenceDpi);
  return pixels < 1 || pixels > kLargestPixelSize ? effective_size : pixels;
}

TextBox EstimateTextBox(std::span<const TextSegment> segments, TextMeasurer& measurer,
                        int pixel_size) {
  return MeasureTextBox(segments, measurer, pixel_size + kEstimateExtraLineHeight);
}

TextBox WithFrameGraph(const TextBox& text_box, const ComposedFrame& frame, int pixel_size) {
  return frame.graph.shown() ? AddGraphArea(text_box, pixel_size) : text_box;
}

uint64_t HashStyle(const UiStyle& style) {
  uint64_t seed = kFnvOffsetBasis;
  for (const int64_t number :
       {int64_t{style.alpha}, int64_t{style.font_size}, int64_t{style.font_color}}) {
    seed = Combine(seed, static_cast<uint64_t>(number));
  }
  seed = Combine(seed, Fnv1a<char>(style.pos));
  seed = Combine(seed, Fnv1a<char>(style.direction));
  for (const ColorThresholds& row : style.colors) {
    seed = Combine(seed, row.values.size());
    for (const double value : row.values) seed = Combine(seed, std::bit_cast<uint64_t>(value));
    for (const uint32_t color : row.colors) seed = Combine(seed, color);
  }
  return seed;
}

int SteadyBoxWidth::Take(int width, uint64_t key, uint32_t now) {
  if (width_ == 0 || key != key_ || width >= width_) {
    width_ = width;
    key_ = key;
    narrower_ = false;
    return width_;
  }
  if (!narrower_) {
    narrower_ = true;
    narrower_since_ = now;
    widest_while_narrower_ = width;
  } else {
    widest_while_narrower_ = std::max(widest_while_narrower_, width);
  }
  if (now - narrower_since_ >= kBoxNarrowsAfterMs) {
    width_ = widest_while_narrower_;
    narrower_ = false;
  }
  return width_;
}

}  // namespace corvane
