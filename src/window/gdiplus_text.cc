#include "src/window/gdiplus_text.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <string>
#include <vector>

#include "base/log/log_record.h"
#include "base/strings/utf.h"

namespace corvane {
namespace {

constexpr char kLogSource[] = "src/window/gdiplus_text";
namespace gdip = Gdiplus::DllExports;

// Lines are at least this much higher than the font's pixel size.
constexpr int kExtraLineHeight = 2;
constexpr Gdiplus::REAL kFontHeightDpi = 96.0f;

const WCHAR* Wide(std::u16string_view text) {
  return reinterpret_cast<const WCHAR*>(text.data());
}

float MeasuredWidth(Gdiplus::GpGraphics* graphics, Gdiplus::GpFont* font,
                    Gdiplus::GpStringFormat* format, std::u16string_view text) {
  const Gdiplus::RectF layout(0, 0, 0, 0);
  Gdiplus::RectF bounds(0, 0, 0, 0);
  const Gdiplus::GpStatus status =
      gdip::GdipMeasureString(graphics, Wide(text), static_cast<INT>(text.size()), font, &layout,
                              format, &bounds, nullptr, nullptr);
  return status == Gdiplus::Ok ? bounds.Width : 0.0f;
}

// Turns the graphics' smoothing off for its lifetime, and back as it was after.
class SmoothingOff {
 public:
  explicit SmoothingOff(Gdiplus::GpGraphics* graphics) : graphics_(graphics) {
    gdip::GdipGetSmoothingMode(graphics_, &smoothing_);
    gdip::GdipSetSmoothingMode(graphics_, Gdiplus::SmoothingModeNone);
  }
  ~SmoothingOff() { gdip::GdipSetSmoothingMode(graphics_, smoothing_); }
  SmoothingOff(const SmoothingOff&) = delete;
  SmoothingOff& operator=(const SmoothingOff&) = delete;

 private:
  Gdiplus::GpGraphics* graphics_;
  Gdiplus::SmoothingMode smoothing_ = Gdiplus::SmoothingModeAntiAlias;
};

std::wstring FamilyName(Gdiplus::GpFontFamily* family) {
  WCHAR name[LF_FACESIZE] = {};
  gdip::GdipGetFamilyName(family, name, LANG_NEUTRAL);
  return name;
}

// The family that GDI's font mapper gives for kFallbackFontFamily among the TrueType fonts (the
// only ones GDI+ draws with): that family where it is installed, otherwise the nearest one the
// system has, so that some text shows. Null only when there is no TrueType font at all.
Gdiplus::GpFontFamily* FallbackFamily() {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return nullptr;
  LOGFONTW wanted{};
  wanted.lfHeight = -16;  // any size: only the family is kept
  wanted.lfCharSet = DEFAULT_CHARSET;
  wanted.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  wcsncpy(wanted.lfFaceName, kFallbackFontFamily, LF_FACESIZE - 1);
  Gdiplus::GpFont* mapped = nullptr;
  gdip::GdipCreateFontFromLogfontW(screen, &wanted, &mapped);
  ReleaseDC(nullptr, screen);
  const base::win::ScopedGpFont mapped_font(mapped);
  Gdiplus::GpFontFamily* family = nullptr;  // a copy, owned by the caller
  if (!mapped_font || gdip::GdipGetFamily(mapped, &family) != Gdiplus::Ok) return nullptr;
  return family;
}

GdiplusCanvas MakeCanvas(int width, int height) {
  GdiplusCanvas canvas;
  Gdiplus::GpBitmap* bitmap = nullptr;
  gdip::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppPARGB, nullptr, &bitmap);
  canvas.bitmap.reset(bitmap);
  if (!canvas.bitmap) return canvas;
  Gdiplus::GpGraphics* graphics = nullptr;
  gdip::GdipGetImageGraphicsContext(bitmap, &graphics);
  canvas.graphics.reset(graphics);
  if (canvas.graphics) {
    gdip::GdipSetTextRenderingHint(graphics, Gdiplus::TextRenderingHintAntiAliasGridFit);
  }
  return canvas;
}

}  // namespace

GdiplusFont MakeFont(const wchar_t* family, float pixel_size) {
  GdiplusFont made;
  Gdiplus::GpFontFamily* new_family = nullptr;
  // A name that is not installed gives FontFamilyNotFound and no family.
  if (gdip::GdipCreateFontFamilyFromName(family, nullptr, &new_family) != Gdiplus::Ok) {
    new_family = FallbackFamily();
    made.fell_back = new_family != nullptr;
    // Once per process: the overlay makes a font at every change of size and for every
    // estimate of its box, and the reason stays the same.
    static std::atomic<bool> warned{false};
    if (!warned.exchange(true)) {
      if (made.fell_back) {
        LOG_WARNING("Font family \"{}\" is not installed; drawing with \"{}\" instead",
                    base::WideToUtf8(family), base::WideToUtf8(FamilyName(new_family)));
      } else {
        LOG_WARNING(
            "Font family \"{}\" is not installed, and no font stands in for \"{}\": "
            "no text is drawn",
            base::WideToUtf8(family), base::WideToUtf8(kFallbackFontFamily));
      }
    }
  }
  made.family.reset(new_family);
  if (!new_family) return made;
  Gdiplus::GpFont* new_font = nullptr;
  gdip::GdipCreateFont(new_family, pixel_size, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel,
                       &new_font);
  made.font.reset(new_font);
  return made;
}

base::win::ScopedGpStringFormat MakeTextFormat() {
  Gdiplus::GpStringFormat* generic = nullptr;  // process-wide: read and copied, never deleted
  gdip::GdipStringFormatGetGenericTypographic(&generic);
  Gdiplus::GpStringFormat* copy = nullptr;
  gdip::GdipCloneStringFormat(generic, &copy);
  base::win::ScopedGpStringFormat format(copy);
  INT flags = 0;
  if (format && gdip::GdipGetStringFormatFlags(copy, &flags) == Gdiplus::Ok) {
    gdip::GdipSetStringFormatFlags(copy, flags | Gdiplus::StringFormatFlagsMeasureTrailingSpaces);
  }
  return format;
}

GdiplusCanvas MakeMeasuringCanvas() {
  return MakeCanvas(1, 1);
}

GdiplusCanvas MakePaintingCanvas(int width, int height) {
  GdiplusCanvas canvas = MakeCanvas(width, height);
  if (Gdiplus::GpGraphics* graphics = canvas.graphics.get()) {
    gdip::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeAntiAlias);
    gdip::GdipSetCompositingMode(graphics, Gdiplus::CompositingModeSourceOver);
    gdip::GdipSetCompositingQuality(graphics, Gdiplus::CompositingQualityHighQuality);
    gdip::GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHighQuality);
  }
  return canvas;
}

float GdiplusMeasurer::FontHeight() {
  Gdiplus::REAL height = 0;
  return gdip::GdipGetFontHeightGivenDPI(font_, kFontHeightDpi, &height) == Gdiplus::Ok ? height
                                                                                        : 0.0f;
}

float GdiplusMeasurer::RunWidth(std::u16string_view text) {
  return MeasuredWidth(graphics_, font_, format_, text);
}

void GdiplusPainter::FillBackground(int width, int height, uint32_t argb) {
  Gdiplus::GpSolidFill* fill = nullptr;
  gdip::GdipCreateSolidFill(argb, &fill);
  base::win::ScopedGpBrush brush(fill);
  if (brush) gdip::GdipFillRectangleI(graphics_, fill, 0, 0, width, height);
}

float GdiplusPainter::DrawRun(std::u16string_view text, float x, float y, uint32_t argb) {
  Gdiplus::GpSolidFill* fill = nullptr;
  gdip::GdipCreateSolidFill(argb, &fill);
  base::win::ScopedGpBrush brush(fill);
  // A zero-sized layout rectangle: no wrapping, no clipping.
  const Gdiplus::RectF layout(x, y, 0, 0);
  gdip::GdipDrawString(graphics_, Wide(text), static_cast<INT>(text.size()), font_, &layout,
                       format_, fill);
  return MeasuredWidth(graphics_, font_, format_, text);
}

void GdiplusPainter::FillGraph(std::span<const GraphPoint> outline, uint32_t argb) {
  if (outline.size() < 3) return;
  std::vector<Gdiplus::PointF> points;
  points.reserve(outline.size());
  for (const GraphPoint& point : outline) points.emplace_back(point.x, point.y);
  Gdiplus::GpSolidFill* fill = nullptr;
  gdip::GdipCreateSolidFill(argb, &fill);
  base::win::ScopedGpBrush brush(fill);
  if (!brush) return;
  // The bars' edges are upright and level: filled without anti-aliasing they stay sharp and
  // cost a fraction of the smoothed fill. The text keeps its smoothing.
  const SmoothingOff unsmoothed(graphics_);
  gdip::GdipFillPolygon(graphics_, fill, points.data(), static_cast<INT>(points.size()),
                        Gdiplus::FillModeAlternate);
}

void GdiplusPainter::FillRects(std::span<const GraphRect> rects, uint32_t argb) {
  if (rects.empty()) return;
  std::vector<Gdiplus::RectF> filled;
  filled.reserve(rects.size());
  for (const GraphRect& rect : rects) filled.emplace_back(rect.x, rect.y, rect.width, rect.height);
  Gdiplus::GpSolidFill* fill = nullptr;
  gdip::GdipCreateSolidFill(argb, &fill);
  base::win::ScopedGpBrush brush(fill);
  if (!brush) return;
  // Level and upright edges, like the bars': sharp without anti-aliasing.
  const SmoothingOff unsmoothed(graphics_);
  gdip::GdipFillRectangles(graphics_, fill, filled.data(), static_cast<INT>(filled.size()));
}

float GdiplusPainter::DrawGraphLabel(std::u16string_view text, float x, float y, int pixel_size,
                                     uint32_t argb) {
  // The text's family at the label's size. The family GDI+ hands out is the caller's to delete.
  Gdiplus::GpFontFamily* family = nullptr;
  if (font_ == nullptr || gdip::GdipGetFamily(font_, &family) != Gdiplus::Ok) return 0.0f;
  const base::win::ScopedGpFontFamily owned_family(family);
  Gdiplus::GpFont* label_font = nullptr;
  gdip::GdipCreateFont(family, static_cast<Gdiplus::REAL>(pixel_size), Gdiplus::FontStyleRegular,
                       Gdiplus::UnitPixel, &label_font);
  const base::win::ScopedGpFont font(label_font);
  if (!font) return 0.0f;
  GdiplusPainter label_painter(graphics_, label_font, format_);
  return label_painter.DrawRun(text, x, y, argb);
}

PaintedCanvas PaintTextCanvas(std::span<const TextSegment> segments, const FrameGraph& graph,
                              Gdiplus::GpFont* font, int font_px, uint8_t alpha, int least_width) {
  const base::win::ScopedGpStringFormat format = MakeTextFormat();
  PaintedCanvas painted;
  {
    GdiplusCanvas measuring = MakeMeasuringCanvas();
    GdiplusMeasurer measurer(measuring.graphics.get(), font, format.get());
    painted.box = MeasureTextBox(segments, measurer, font_px + kExtraLineHeight);
  }
  painted.box.width = std::max(painted.box.width, least_width);
  if (graph.shown()) painted.box = AddGraphArea(painted.box, font_px);
  painted.canvas = MakePaintingCanvas(painted.box.width, painted.box.height);
  if (!painted.canvas.graphics) {
    painted.canvas.bitmap.reset();
    return painted;
  }
  {
    GdiplusPainter painter(painted.canvas.graphics.get(), font, format.get());
    PaintTextBox(segments, graph, painted.box, alpha, painter);
  }
  painted.canvas.graphics.reset();  // flushes the drawing into the bitmap
  return painted;
}

PaintedBitmap PaintTextBitmap(std::span<const TextSegment> segments, const FrameGraph& graph,
                              Gdiplus::GpFont* font, int font_px, uint8_t alpha, int least_width) {
  const PaintedCanvas painted = PaintTextCanvas(segments, graph, font, font_px, alpha, least_width);
  PaintedBitmap result;
  if (!painted.canvas.bitmap) return result;
  HBITMAP bitmap = nullptr;
  gdip::GdipCreateHBITMAPFromBitmap(painted.canvas.bitmap.get(), &bitmap, 0);
  result.bitmap.reset(bitmap);
  if (result.bitmap) result.size = {painted.box.width, painted.box.height};
  return result;
}

}  // namespace corvane
