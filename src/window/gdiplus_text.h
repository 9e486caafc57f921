#pragma once
// The text box measured and painted with GDI+ (flat interface): the measurer and painter of
// the layout code, and the whole paint of one box into a GDI bitmap for a layered window.
#include <span>
#include <string_view>

#include "base/os/win/scoped_resource.h"
#include "src/window/render_cache.h"
#include "src/window/text_layout.h"

namespace corvane {

// The family that stands in when the one asked for is not installed: every Windows has
// Tahoma. Where it is missing too (a bare Wine prefix without Wine's own fonts), GDI's font
// mapper picks the nearest TrueType family the system has. The overlay's texts are digits and
// Latin letters, which any of them draws.
inline constexpr wchar_t kFallbackFontFamily[] = L"Tahoma";

// A regular font of `family` at `pixel_size` physical pixels, with its family. When `family`
// is not installed, the font is made of the stand-in for kFallbackFontFamily instead, and the
// first time in the process one WARNING record names both. Both handles are null only when
// the system has no TrueType font at all: then every run measures and draws as nothing.
struct GdiplusFont {
  base::win::ScopedGpFontFamily family;
  base::win::ScopedGpFont font;  // declared last: released first, before its family
  bool fell_back = false;        // made of the stand-in for kFallbackFontFamily
};
GdiplusFont MakeFont(const wchar_t* family, float pixel_size);

// Every measurement and drawing uses a copy of the generic typographic format that also
// measures trailing spaces (such as the one after each label).
base::win::ScopedGpStringFormat MakeTextFormat();

// A premultiplied ARGB bitmap with a graphics on it. The graphics goes first.
struct GdiplusCanvas {
  base::win::ScopedGpBitmap bitmap;
  base::win::ScopedGpGraphics graphics;
};

// 1 x 1, for measuring only.
GdiplusCanvas MakeMeasuringCanvas();
// For painting: anti-aliased, high-quality, source-over.
GdiplusCanvas MakePaintingCanvas(int width, int height);

class GdiplusMeasurer final : public TextMeasurer {
 public:
  GdiplusMeasurer(Gdiplus::GpGraphics* graphics, Gdiplus::GpFont* font,
                  Gdiplus::GpStringFormat* format)
      : graphics_(graphics), font_(font), format_(format) {}

  float FontHeight() override;
  float RunWidth(std::u16string_view text) override;

 private:
  Gdiplus::GpGraphics* graphics_;
  Gdiplus::GpFont* font_;
  Gdiplus::GpStringFormat* format_;
};

class GdiplusPainter final : public TextPainter {
 public:
  GdiplusPainter(Gdiplus::GpGraphics* graphics, Gdiplus::GpFont* font,
                 Gdiplus::GpStringFormat* format)
      : graphics_(graphics), font_(font), format_(format) {}

  void FillBackground(int width, int height, uint32_t argb) override;
  float DrawRun(std::u16string_view text, float x, float y, uint32_t argb) override;
  void FillGraph(std::span<const GraphPoint> outline, uint32_t argb) override;
  void FillRects(std::span<const GraphRect> rects, uint32_t argb) override;
  float DrawGraphLabel(std::u16string_view text, float x, float y, int pixel_size,
                       uint32_t argb) override;

 private:
  Gdiplus::GpGraphics* graphics_;
  Gdiplus::GpFont* font_;
  Gdiplus::GpStringFormat* format_;
};

// The runs painted on a canvas of their box's size, the drawing flushed into the bitmap (the
// canvas's graphics is released). The bitmap is null when GDI+ could not make one.
struct PaintedCanvas {
  GdiplusCanvas canvas;
  TextBox box;
};

// Measures the runs with lines at least `font_px` + 2 high and paints them on the box, at least
// `least_width` wide, at the given background opacity, with the graph under them when it is
// shown. A null font measures and draws nothing: the empty box of a font family that is not
// installed (and its graph).
PaintedCanvas PaintTextCanvas(std::span<const TextSegment> segments, const FrameGraph& graph,
                              Gdiplus::GpFont* font, int font_px, uint8_t alpha,
                              int least_width = 0);

struct PaintedBitmap {
  base::win::ScopedBitmap bitmap;  // null when GDI+ could not make one
  BitmapSize size;
};

// PaintTextCanvas, turned into a 32-bit premultiplied GDI bitmap.
PaintedBitmap PaintTextBitmap(std::span<const TextSegment> segments, const FrameGraph& graph,
                              Gdiplus::GpFont* font, int font_px, uint8_t alpha,
                              int least_width = 0);

}  // namespace corvane
