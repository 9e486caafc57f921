// Text rendering through GDI+ and the layered window, down to the pixels on the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/strings/utf.h"
#include "src/window/gdiplus_text.h"
#include "src/window/overlay_window.h"
#include "tests/support/test_logger.h"
#include "tests/win/counting_window_calls.h"
#include "tests/win/test_windows.h"

namespace corvane {
namespace {

using testing::Capture;
using testing::CaptureScreen;
using testing::Near;
using testing::PumpFor;
using testing::Rgb;
using testing::TestGameWindow;
namespace gdip = Gdiplus::DllExports;

constexpr wchar_t kFamily[] = L"Microsoft YaHei";
constexpr uint32_t kGrey = 0x808080;
const uint32_t kBackground = Rgb(35, 35, 40);

// The five rows as the frame builds them: labels and values in one colour, separators grey.
std::vector<TextSegment> FiveRows(uint32_t colorref, bool vertical) {
  const std::u16string texts[] = {u"FPS ", u"60",    u"GPU ", u"37.3% 2.0/8.0GB",
                                  u"CPU ", u"12.3%", u"RAM ", u"8.0/15.9GB",
                                  u"IO ",  u"3.5%"};
  std::vector<TextSegment> segments;
  for (int row = 0; row < 5; ++row) {
    if (row > 0) segments.push_back({vertical ? u"\n" : u" | ", kGrey});
    segments.push_back({texts[2 * row], colorref});
    segments.push_back({texts[2 * row + 1], colorref});
  }
  return segments;
}

class TextRenderingWinTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(OverlayWindow::StartupGdiplus()); }
  void TearDown() override { OverlayWindow::ShutdownGdiplus(); }

  corvane::testing::TestLogger logger_;
  corvane::testing::ScopedLoggerReplacement replacement_{&logger_};
};

struct Pixel {
  int r, g, b, a;
};

// The pixels of a GDI bitmap as stored: premultiplied BGRA, top-down.
std::vector<Pixel> BitmapPixels(HBITMAP bitmap, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> raw(static_cast<size_t>(width) * height);
  HDC screen = GetDC(nullptr);
  GetDIBits(screen, bitmap, 0, height, raw.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  std::vector<Pixel> pixels;
  for (uint32_t p : raw) {
    pixels.push_back({static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
                      static_cast<int>(p & 0xFF), static_cast<int>(p >> 24)});
  }
  return pixels;
}

TEST_F(TextRenderingWinTest, SetFontMakesThePixelFontAtTheGivenDpi) {
  OverlayWindow overlay;
  EXPECT_EQ(overlay.font_px(), 18);  // before any font
  overlay.SetFont(kFamily, 14, kReferenceDpi);
  ASSERT_NE(overlay.font(), nullptr) << "Microsoft YaHei is not mapped to an installed font";
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  ASSERT_EQ(dpi, 96) << "the shared test bed runs at 96 DPI";
  EXPECT_EQ(overlay.font_px(), 14);
  Gdiplus::REAL size = 0;
  ASSERT_EQ(gdip::GdipGetFontSize(overlay.font(), &size), Gdiplus::Ok);
  EXPECT_FLOAT_EQ(size, 14.0f);
  Gdiplus::Unit unit = Gdiplus::UnitWorld;
  gdip::GdipGetFontUnit(overlay.font(), &unit);
  EXPECT_EQ(unit, Gdiplus::UnitPixel);
  INT style = -1;
  gdip::GdipGetFontStyle(overlay.font(), &style);
  EXPECT_EQ(style, Gdiplus::FontStyleRegular);

  // Another monitor's DPI gives the font for that monitor; none known gives 96's.
  overlay.SetFont(kFamily, 14, 144);
  EXPECT_EQ(overlay.font_px(), 21);
  overlay.SetFont(kFamily, 14, 0);
  EXPECT_EQ(overlay.font_px(), 14);

  const std::vector<std::string> infos = logger_.Texts(base::kLogInfo);
  ASSERT_EQ(infos.size(), 3u);
  EXPECT_EQ(infos[0], "GDI+ Font set: Microsoft YaHei logical=14px dpi=96 physical=14px");
  EXPECT_EQ(infos[1], "GDI+ Font set: Microsoft YaHei logical=14px dpi=144 physical=21px");
}

TEST_F(TextRenderingWinTest, MeasurerCountsTrailingSpacesAndGivesTheLineSpacing) {
  OverlayWindow overlay;
  overlay.SetFont(kFamily, 14, kReferenceDpi);
  ASSERT_NE(overlay.font(), nullptr);
  const base::win::ScopedGpStringFormat format = MakeTextFormat();
  ASSERT_TRUE(format);
  INT flags = 0;
  gdip::GdipGetStringFormatFlags(format.get(), &flags);
  EXPECT_NE(flags & Gdiplus::StringFormatFlagsMeasureTrailingSpaces, 0);

  GdiplusCanvas canvas = MakeMeasuringCanvas();
  ASSERT_TRUE(canvas.graphics);
  GdiplusMeasurer measurer(canvas.graphics.get(), overlay.font(), format.get());
  const float fps = measurer.RunWidth(u"FPS");
  const float fps_space = measurer.RunWidth(u"FPS ");
  EXPECT_GT(fps, 10.0f);
  EXPECT_GT(fps_space, fps + 1.0f);
  EXPECT_GT(measurer.RunWidth(u"37.3% 2.0/8.0GB"), measurer.RunWidth(u"37.3%"));
  const float spacing = measurer.FontHeight();
  EXPECT_GT(spacing, 14.0f);
  EXPECT_LT(spacing, 2 * 14.0f);

  // Without a font nothing measures.
  GdiplusMeasurer fontless(canvas.graphics.get(), nullptr, format.get());
  EXPECT_EQ(fontless.RunWidth(u"FPS "), 0.0f);
  EXPECT_EQ(fontless.FontHeight(), 0.0f);
}

TEST_F(TextRenderingWinTest, PaintedBitmapIsPremultipliedWithOpaqueText) {
  OverlayWindow overlay;
  overlay.SetFont(kFamily, 14, kReferenceDpi);
  ASSERT_NE(overlay.font(), nullptr);
  const std::vector<TextSegment> runs = FiveRows(0x000000FF, false);  // COLORREF red
  for (const int alpha : {0, 204, 255}) {
    SCOPED_TRACE(alpha);
    const PaintedBitmap painted =
        PaintTextBitmap(runs, {}, overlay.font(), overlay.font_px(), static_cast<uint8_t>(alpha));
    ASSERT_TRUE(painted.bitmap);
    const int width = painted.size.width;
    const int height = painted.size.height;
    BITMAP info{};
    ASSERT_TRUE(GetObjectW(painted.bitmap.get(), sizeof(info), &info));
    EXPECT_EQ(info.bmWidth, width);
    EXPECT_EQ(info.bmHeight, height);
    EXPECT_EQ(info.bmBitsPixel, 32);

    const std::vector<Pixel> pixels = BitmapPixels(painted.bitmap.get(), width, height);
    // A margin pixel holds the background, premultiplied.
    const Pixel corner = pixels[0];
    EXPECT_EQ(corner.a, alpha);
    EXPECT_NEAR(corner.r, 35 * alpha / 255, 1);
    EXPECT_NEAR(corner.b, 40 * alpha / 255, 1);
    int opaque_red = 0;
    for (const Pixel& p : pixels) {
      EXPECT_GE(p.a, alpha);
      EXPECT_LE(std::max({p.r, p.g, p.b}), p.a);  // premultiplied
      if (p.a == 255 && p.r >= 250 && p.g <= 5 && p.b <= 5) ++opaque_red;
    }
    EXPECT_GT(opaque_red, 30);
  }
}

TEST_F(TextRenderingWinTest, BoxSizeFollowsLinesAndWidestLine) {
  OverlayWindow overlay;
  overlay.SetFont(kFamily, 14, kReferenceDpi);
  const PaintedBitmap one = PaintTextBitmap(FiveRows(0xFFFFFF, false), {}, overlay.font(), 14, 255);
  const PaintedBitmap five = PaintTextBitmap(FiveRows(0xFFFFFF, true), {}, overlay.font(), 14, 255);
  ASSERT_TRUE(one.bitmap);
  ASSERT_TRUE(five.bitmap);
  const int line_height = one.size.height - 8;
  EXPECT_GE(line_height, 14 + 2);
  EXPECT_EQ(five.size.height, 5 * line_height + 8);
  EXPECT_LT(five.size.width, one.size.width / 2);
  EXPECT_GT(five.size.width, 16 + 40);
}

// A family that is not installed (as "Microsoft YaHei" in a bare Wine prefix) draws in Tahoma
// where that is installed (every Windows), else in the nearest family GDI's font mapper finds
// (Debian's Wine in the test bed has no Tahoma), with one WARNING naming both however often the
// font is made; the "GDI+ Font set" record still names the family asked for.
TEST_F(TextRenderingWinTest, FamilyNotInstalledDrawsInAStandInWithOneWarning) {
  Gdiplus::GpFontFamily* tahoma = nullptr;
  gdip::GdipCreateFontFamilyFromName(kFallbackFontFamily, nullptr, &tahoma);
  const base::win::ScopedGpFontFamily owned_tahoma(tahoma);
  OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create(700, 32));
  overlay.SetFont(L"No Such Family Corvane", 14, kReferenceDpi);
  overlay.SetFont(L"No Such Family Corvane", 16, kReferenceDpi);
  ASSERT_NE(overlay.font(), nullptr);
  Gdiplus::GpFontFamily* family = nullptr;  // a copy of the font's family
  ASSERT_EQ(gdip::GdipGetFamily(overlay.font(), &family), Gdiplus::Ok);
  const base::win::ScopedGpFontFamily owned_family(family);
  WCHAR name[LF_FACESIZE] = {};
  gdip::GdipGetFamilyName(family, name, LANG_NEUTRAL);
  if (tahoma != nullptr) {
    EXPECT_STREQ(name, kFallbackFontFamily);
  }
  EXPECT_STRNE(name, L"");
  EXPECT_EQ(logger_.Texts(base::kLogWarning),
            std::vector<std::string>{"Font family \"No Such Family Corvane\" is not installed; "
                                     "drawing with \"" +
                                     base::WideToUtf8(name) + "\" instead"});
  EXPECT_EQ(logger_.Texts(base::kLogInfo).front(),
            "GDI+ Font set: No Such Family Corvane logical=14px dpi=96 physical=14px");
  EXPECT_TRUE(logger_.Texts(base::kLogError).empty());

  const std::vector<TextSegment> runs = FiveRows(0xFFFFFF, false);
  overlay.Render(runs.data(), static_cast<int>(runs.size()), {}, 10, 10, 255);
  ASSERT_TRUE(overlay.render_cache().bitmap());
  const BitmapSize size = *overlay.render_cache().bitmap();
  EXPECT_GT(size.width, 16 + 200);  // the five rows' text, not an empty box
  const std::vector<Pixel> pixels = BitmapPixels(overlay.bitmap(), size.width, size.height);
  const auto white = std::count_if(pixels.begin(), pixels.end(), [](const Pixel& p) {
    return p.r > 200 && p.g > 200 && p.b > 200;
  });
  EXPECT_GT(white, 50);
}

TEST_F(TextRenderingWinTest, RenderWithoutFontOrRunsDoesNothing) {
  OverlayWindow overlay(testing::CountingWindowCalls());
  ASSERT_TRUE(overlay.Create(700, 32));
  const std::vector<TextSegment> runs = FiveRows(0xFFFFFF, false);
  overlay.Render(runs.data(), static_cast<int>(runs.size()), {}, 10, 10, 255);  // no font yet
  overlay.SetFont(kFamily, 14, kReferenceDpi);
  overlay.Render(runs.data(), 0, {}, 10, 10, 255);
  overlay.Render(nullptr, 3, {}, 10, 10, 255);
  EXPECT_EQ(testing::g_window_calls.update_layered_window, 0);
  EXPECT_EQ(overlay.bitmap(), nullptr);
}

TEST_F(TextRenderingWinTest, QuickPathMakesNoCallAndAMoveMakesOne) {
  OverlayWindow overlay(testing::CountingWindowCalls());
  ASSERT_TRUE(overlay.Create(700, 32));
  overlay.SetFont(kFamily, 14, kReferenceDpi);
  const std::vector<TextSegment> runs = FiveRows(0xFFFFFF, false);
  const int count = static_cast<int>(runs.size());

  overlay.Render(runs.data(), count, {}, 100, 80, 204);
  EXPECT_EQ(testing::g_window_calls.update_layered_window, 1);
  const HBITMAP first = overlay.bitmap();
  ASSERT_NE(first, nullptr);
  const BitmapSize size = *overlay.render_cache().bitmap();
  RECT rect{};
  GetWindowRect(overlay.hwnd(), &rect);
  EXPECT_EQ(rect.left, 100);
  EXPECT_EQ(rect.top, 80);
  EXPECT_EQ(rect.right - rect.left, size.width);  // the bitmap's size, not 700 x 32
  EXPECT_EQ(rect.bottom - rect.top, size.height);

  overlay.Render(runs.data(), count, {}, 100, 80, 204);
  EXPECT_EQ(testing::g_window_calls.update_layered_window, 1);
  EXPECT_EQ(overlay.bitmap(), first);

  overlay.Render(runs.data(), count, {}, 120, 90, 204);
  EXPECT_EQ(testing::g_window_calls.update_layered_window, 2);
  EXPECT_EQ(overlay.bitmap(), first);  // moved, not painted
  GetWindowRect(overlay.hwnd(), &rect);
  EXPECT_EQ(rect.left, 120);
  EXPECT_EQ(rect.top, 90);

  overlay.Render(runs.data(), count, {}, 120, 90, 100);  // a new opacity repaints
  EXPECT_EQ(testing::g_window_calls.update_layered_window, 3);
  EXPECT_NE(overlay.bitmap(), first);
  EXPECT_EQ(GetObjectType(first), 0u) << "the replaced bitmap is deleted";

  overlay.MarkDirty();
  const HBITMAP second = overlay.bitmap();
  overlay.Render(runs.data(), count, {}, 120, 90, 100);
  EXPECT_EQ(testing::g_window_calls.update_layered_window, 4);
  EXPECT_NE(overlay.bitmap(), second);

  overlay.SetFont(kFamily, 16, kReferenceDpi);  // a new font repaints too
  overlay.Render(runs.data(), count, {}, 120, 90, 100);
  EXPECT_EQ(testing::g_window_calls.update_layered_window, 5);
}

TEST_F(TextRenderingWinTest, DestroyReleasesTheBitmapAndMemoryDc) {
  OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create(700, 32));
  overlay.SetFont(kFamily, 14, kReferenceDpi);
  const std::vector<TextSegment> runs = FiveRows(0xFFFFFF, false);
  overlay.Render(runs.data(), static_cast<int>(runs.size()), {}, 0, 0, 255);
  const HBITMAP bitmap = overlay.bitmap();
  ASSERT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));
  overlay.Destroy();
  EXPECT_EQ(GetObjectType(bitmap), 0u);
  EXPECT_EQ(overlay.bitmap(), nullptr);
  EXPECT_EQ(overlay.font(), nullptr);
  EXPECT_FALSE(overlay.render_cache().bitmap());
}

// --- On the screen ---------------------------------------------------------------------------

struct ScreenCase {
  bool vertical;
  int alpha;
};

class OverlayOnScreenWinTest : public TextRenderingWinTest,
                               public ::testing::WithParamInterface<ScreenCase> {};

// The background at `alpha` over `below`, as the screen shows it.
uint32_t Blend(uint32_t over, int alpha, uint32_t below) {
  auto channel = [&](int o, int b) {
    return static_cast<int>(std::lround((o * alpha + b * (255 - alpha)) / 255.0));
  };
  return Rgb(channel(testing::Red(over), testing::Red(below)),
             channel(testing::Green(over), testing::Green(below)),
             channel(testing::Blue(over), testing::Blue(below)));
}

// True when `p` lies on the straight line from `from` to `to` (an anti-aliased glyph edge).
bool OnBlendLine(uint32_t p, uint32_t from, uint32_t to, int tolerance) {
  const int f[] = {testing::Red(from), testing::Green(from), testing::Blue(from)};
  const int t[] = {testing::Red(to), testing::Green(to), testing::Blue(to)};
  const int v[] = {testing::Red(p), testing::Green(p), testing::Blue(p)};
  int widest = 0;
  for (int i = 1; i < 3; ++i) {
    if (std::abs(t[i] - f[i]) > std::abs(t[widest] - f[widest])) widest = i;
  }
  const int span = t[widest] - f[widest];
  double share = span == 0 ? 0.0 : static_cast<double>(v[widest] - f[widest]) / span;
  share = std::clamp(share, 0.0, 1.0);
  for (int i = 0; i < 3; ++i) {
    if (std::abs(f[i] + share * (t[i] - f[i]) - v[i]) > tolerance) return false;
  }
  return true;
}

int CountNear(const Capture& capture, int x, int y, int width, int height, uint32_t color) {
  int count = 0;
  for (int row = y; row < y + height; ++row) {
    for (int column = x; column < x + width; ++column) {
      if (Near(capture.At(column, row), color, 3)) ++count;
    }
  }
  return count;
}

TEST_P(OverlayOnScreenWinTest, BoxAndTextBlendOverWhatLiesBelow) {
  const ScreenCase param = GetParam();
  const uint32_t below = Rgb(60, 120, 180);
  const uint32_t text = Rgb(255, 0, 0);
  const int area_x = 200, area_y = 150, area_width = 800, area_height = 400;
  TestGameWindow game(area_x, area_y, area_width, area_height, RGB(60, 120, 180));
  auto capture_area = [&] { return CaptureScreen(area_x, area_y, area_width, area_height); };

  // Wait until the area shows only the game window: nothing left from an earlier overlay.
  Capture capture;
  for (int attempt = 0; attempt < 100; ++attempt) {
    PumpFor(30);
    capture = capture_area();
    if (CountNear(capture, area_x, area_y, area_width, area_height, below) ==
        area_width * area_height) {
      break;
    }
  }
  ASSERT_EQ(CountNear(capture, area_x, area_y, area_width, area_height, below),
            area_width * area_height)
      << "the test window does not show as painted";

  OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create(700, 32));
  overlay.SetFont(kFamily, 14, kReferenceDpi);
  ASSERT_NE(overlay.font(), nullptr);
  const std::vector<TextSegment> runs = FiveRows(0x000000FF, param.vertical);
  const int x = 260, y = 200;
  overlay.Render(runs.data(), static_cast<int>(runs.size()), {}, x, y,
                 static_cast<uint8_t>(param.alpha));
  overlay.Show(true);
  overlay.KeepAbove(game.hwnd());
  ASSERT_TRUE(overlay.render_cache().bitmap());
  const int width = overlay.render_cache().bitmap()->width;
  const int height = overlay.render_cache().bitmap()->height;
  ASSERT_LT(x + width, area_x + area_width - 10);
  ASSERT_LT(y + height, area_y + area_height - 10);

  // Wait for the compositor to show the text, then look once more.
  for (int attempt = 0; attempt < 100; ++attempt) {
    PumpFor(30);
    capture = capture_area();
    if (CountNear(capture, x, y, width, height, text) > 30) break;
  }
  PumpFor(150);
  capture = capture_area();

  const uint32_t box = Blend(kBackground, param.alpha, below);
  const uint32_t grey = Rgb(128, 128, 128);
  int text_pixels = 0, box_pixels = 0, strays = 0;
  int left = area_x + area_width, top = area_y + area_height, right = -1, bottom = -1;
  for (int row = area_y; row < area_y + area_height; ++row) {
    for (int column = area_x; column < area_x + area_width; ++column) {
      const uint32_t p = capture.At(column, row);
      const bool inside = column >= x && column < x + width && row >= y && row < y + height;
      if (!Near(p, below, 2)) {
        left = std::min(left, column);
        top = std::min(top, row);
        right = std::max(right, column);
        bottom = std::max(bottom, row);
      }
      if (!inside) {
        if (!Near(p, below, 2)) ++strays;
        continue;
      }
      if (Near(p, text, 3)) ++text_pixels;
      if (Near(p, box, 3)) ++box_pixels;
      if (!OnBlendLine(p, box, text, 6) && !OnBlendLine(p, box, grey, 6)) {
        ADD_FAILURE() << "pixel at " << column << "," << row << " is " << std::hex << p
                      << ", neither box, text nor a blend of them";
        return;
      }
    }
  }
  EXPECT_EQ(strays, 0) << "painted outside the box";
  EXPECT_GT(text_pixels, param.vertical ? 60 : 80);
  // Most of the box is background; the margins are background only.
  EXPECT_GT(box_pixels, width * height / 2);
  EXPECT_TRUE(Near(capture.At(x, y), box, 3));
  EXPECT_TRUE(Near(capture.At(x + width - 1, y + height - 1), box, 3));
  if (param.alpha > 0) {
    // The box shows exactly where and as large as it was painted.
    EXPECT_EQ(left, x);
    EXPECT_EQ(top, y);
    EXPECT_EQ(right, x + width - 1);
    EXPECT_EQ(bottom, y + height - 1);
  } else {
    // Only the text shows, inside the margins.
    EXPECT_GE(left, x + 8 - 1);
    EXPECT_GE(top, y + 4 - 1);
    EXPECT_LE(right, x + width - 1);
    EXPECT_LE(bottom, y + height - 1);
  }
  if (param.vertical) {
    // Five lines of text: the lowest text lies in the last line.
    const int line_height = (height - 8) / 5;
    EXPECT_GT(bottom, y + 4 + 4 * line_height);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, OverlayOnScreenWinTest,
                         ::testing::Values(ScreenCase{false, 0}, ScreenCase{false, 204},
                                           ScreenCase{false, 255}, ScreenCase{true, 0},
                                           ScreenCase{true, 204}, ScreenCase{true, 255}),
                         [](const ::testing::TestParamInfo<ScreenCase>& info) {
                           return std::string(info.param.vertical ? "Vertical" : "Horizontal") +
                                  "Alpha" + std::to_string(info.param.alpha);
                         });

TEST(MulDivRoundedWinTest, AgreesWithWin32) {
  for (int a : {-300, -14, -1, 0, 1, 7, 13, 14, 15, 21, 100, 1000}) {
    for (int b : {0, 72, 96, 120, 144, 168, 192, -120}) {
      for (int c : {96, 7, -96, 2, 1}) {
        EXPECT_EQ(MulDivRounded(a, b, c), ::MulDiv(a, b, c)) << a << " " << b << " " << c;
      }
    }
  }
  EXPECT_EQ(MulDivRounded(5, 5, 0), ::MulDiv(5, 5, 0));
}

}  // namespace
}  // namespace corvane
