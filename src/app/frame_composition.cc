#include "src/app/frame_composition.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cwchar>
#include <optional>
#include <utility>

#include "base/strings/utf.h"

namespace corvane {
namespace {

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

// " 1% 41": a low after its label; nothing when the host gave none or it does not fit.
void AppendLow(std::u16string& text, std::u16string_view label, const std::optional<double>& low) {
  if (!low) return;
  const std::u16string figure = FormatFigure<kFpsCapacity>(u"", L"%.0f", *low);
  if (!figure.empty()) text.append(label).append(figure);
}

std::u16string FpsText(const PerfSnapshot& s) {
  if (!s.fps_valid || !(s.fps_cur > 0)) return std::u16string(kFpsNone);
  std::u16string text = FormatFigure<kFpsCapacity>(kFpsNone, L"%.0f", s.fps_cur);
  if (text == kFpsNone) return text;
  AppendLow(text, u" 1% ", s.fps_low1);
  AppendLow(text, u" 0.1% ", s.fps_low01);
  return text;
}

std::u16string GpuText(const PerfSnapshot& s) {
  if (!s.gpu_valid) return std::u16string(kPercentNone);
  return FormatFigure<kGpuCapacity>(kPercentNone, L"%.1f%% %.1f/%.1fGB", s.gpu,
                                    s.gpu_mem_used / kBytesPerGiB, s.gpu_mem_total / kBytesPerGiB);
}

std::u16string CpuText(const PerfSnapshot& s) {
  return FormatFigure<kFigureCapacity>(kPercentNone, L"%.1f%%", s.cpu);
}

std::u16string RamText(const PerfSnapshot& s) {
  if (!(s.mem_total > 0)) return std::u16string(kRamNone);
  // Both figures in whole MiB, rounded up; used may come out negative.
  const double total = std::ceil(s.mem_total) / 1024.0;
  const double used = total - std::ceil(s.mem_free) / 1024.0;
  return FormatFigure<kFigureCapacity>(kRamNone, L"%.1f/%.1fGB", used, total);
}

std::u16string IoText(const PerfSnapshot& s) {
  if (!s.disk_valid) return std::u16string(kPercentNone);
  return FormatFigure<kFigureCapacity>(kPercentNone, L"%.1f%%", s.disk_used);
}

FrameRows LabelledRows(std::u16string fps, std::u16string gpu, std::u16string cpu,
                       std::u16string ram, std::u16string io) {
  return {{{u"FPS", std::move(fps)},
           {u"GPU", std::move(gpu)},
           {u"CPU", std::move(cpu)},
           {u"RAM", std::move(ram)},
           {u"IO", std::move(io)}}};
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
  return LabelledRows(FpsText(snapshot), GpuText(snapshot), CpuText(snapshot), RamText(snapshot),
                      IoText(snapshot));
}

FrameRows FallbackRows() {
  return LabelledRows(std::u16string(kFpsNone), std::u16string(kPercentNone),
                      std::u16string(kPercentNone), std::u16string(kRamNone),
                      std::u16string(kPercentNone));
}

void BuildSegments(const FrameRows& rows, const UiStyle& style,
                   std::vector<TextSegment>& segments) {
  const uint32_t value_color = ColorrefFromRgb(style.font_color);
  const std::u16string_view separator = style.direction == "ver" ? u"\n" : u" | ";
  size_t index = 0;
  std::u16string label;
  for (const RowText& row : rows) {
    if (index > 0) SetSegment(segments, index++, separator, kSeparatorColorref);
    label.assign(row.label).push_back(u' ');
    SetSegment(segments, index++, label, value_color);
    SetSegment(segments, index++, row.value, value_color);
  }
  segments.resize(index);
}

uint64_t HashText(std::u16string_view text) {
  uint64_t hash = kFnvOffsetBasis;
  for (const char16_t unit : text) {
    hash ^= static_cast<uint16_t>(unit);
    hash *= kFnvPrime;
  }
  return hash;
}

uint64_t HashSegments(std::span<const TextSegment> segments) {
  uint64_t seed = kFnvOffsetBasis;
  for (const TextSegment& segment : segments) {
    seed ^= HashText(segment.text) + kGoldenRatio + (seed << 6) + (seed >> 2);
  }
  return seed;
}

namespace {

void HashFrame(ComposedFrame& frame) {
  frame.hash = HashSegments(frame.segments);
  if (frame.graph.shown()) {
    frame.hash ^= HashText(kGraphHashMark) + kGoldenRatio + (frame.hash << 6) + (frame.hash >> 2);
  }
}

}  // namespace

void ComposeFrame(const PerfSnapshot& snapshot, const UiStyle& style, ComposedFrame& frame) {
  frame.rows = FormatRows(snapshot);
  BuildSegments(frame.rows, style, frame.segments);
  // The graph belongs to this game's entry: none when the last read found no entry for it.
  const std::span<const double> frame_ms =
      snapshot.fps_valid ? std::span<const double>(snapshot.frame_ms) : std::span<const double>();
  MakeFrameGraph(frame_ms, ColorrefFromRgb(style.font_color), frame.graph);
  HashFrame(frame);
}

void ComposeFrame(const FrameRows& rows, const UiStyle& style, ComposedFrame& frame) {
  frame.rows = rows;
  BuildSegments(frame.rows, style, frame.segments);
  MakeFrameGraph({}, ColorrefFromRgb(style.font_color), frame.graph);
  HashFrame(frame);
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

}  // namespace corvane
