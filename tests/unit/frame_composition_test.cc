// The rows, runs, hash, font size, margins, placement and size estimate of one frame.
#include "src/app/frame_composition.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/fake_text_drawing.h"

namespace corvane {
namespace {

constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;

std::vector<std::u16string> Values(const PerfSnapshot& snapshot) {
  std::vector<std::u16string> values;
  for (const RowText& row : FormatRows(snapshot)) values.push_back(row.value);
  return values;
}

TEST(FrameRowsTest, FiguresInTheirFormats) {
  PerfSnapshot s;
  s.fps_valid = true;
  s.fps_cur = 59.6;
  s.gpu_valid = true;
  s.gpu = 37.3;
  s.gpu_mem_used = 2 * kGiB;
  s.gpu_mem_total = 8 * kGiB;
  s.cpu = 12.34;
  s.mem_total = 16243.4;
  s.mem_free = 8000.2;
  s.disk_valid = true;
  s.disk_used = 3.5;
  EXPECT_EQ(Values(s), (std::vector<std::u16string>{u"60", u"37.3% 2.0/8.0GB", u"12.3%",
                                                    u"8.0/15.9GB", u"3.5%"}));
  const FrameRows rows = FormatRows(s);
  EXPECT_EQ(rows[0].label, u"FPS");
  EXPECT_EQ(rows[4].label, u"IO");
}

TEST(FrameRowsTest, FallbacksWhenFiguresAreMissing) {
  PerfSnapshot s;  // as before any read: CPU still shows its 0
  EXPECT_EQ(Values(s), (std::vector<std::u16string>{u"--", u"--%", u"0.0%", u"--/--GB", u"--%"}));

  s.fps_valid = true;  // valid but not above 0
  s.fps_cur = 0;
  s.mem_total = std::nan("");
  EXPECT_EQ(Values(s)[0], u"--");
  EXPECT_EQ(Values(s)[3], u"--/--GB");
  s.fps_cur = std::nan("");
  EXPECT_EQ(Values(s)[0], u"--");
  s.fps_cur = -3;
  EXPECT_EQ(Values(s)[0], u"--");

  // More free than total: used comes out negative and is shown so.
  s.mem_total = 1024;
  s.mem_free = 2048;
  EXPECT_EQ(Values(s)[3], u"-1.0/1.0GB");
}

TEST(FrameRowsTest, FigureTooLongForItsRowShowsTheFallback) {
  PerfSnapshot s;
  s.fps_valid = true;
  s.fps_cur = 1e14;  // 15 digits: fits the 16 units with the terminator
  EXPECT_EQ(Values(s)[0], u"100000000000000");
  s.fps_cur = 1e15;
  EXPECT_EQ(Values(s)[0], u"--");
  s.fps_cur = 1e300;
  s.cpu = -1e300;
  s.gpu_valid = true;
  s.gpu_mem_total = 1e300;
  s.mem_total = 1e300;
  s.disk_valid = true;
  s.disk_used = std::numeric_limits<double>::max();
  EXPECT_EQ(Values(s), (std::vector<std::u16string>{u"--", u"--%", u"--%", u"--/--GB", u"--%"}));
  s.cpu = std::numeric_limits<double>::infinity();
  EXPECT_EQ(Values(s)[2], u"inf%");
}

// Each row holds a text one unit shorter than its capacity (the null takes the last), and
// falls back at one unit more: FPS 16, GPU 64, CPU, RAM and IO 32.
TEST(FrameRowsTest, EachRowsCapacityAtItsLimit) {
  // Figures of 5 and zeros, so that no rounding of the double changes their number of digits.
  PerfSnapshot s;
  s.fps_valid = s.gpu_valid = s.disk_valid = true;
  s.fps_cur = 5e14;                        // 15 digits
  s.gpu_mem_total = 5e49 * kGiB;           // "0.0% 0.0/", 50 digits, ".0GB": 63 units
  s.cpu = 5e27;                            // 28 digits, ".0%": 31 units
  s.mem_total = s.mem_free = 1024 * 5e22;  // "0.0/", 23 digits, ".0GB": 31 units
  s.disk_used = 5e27;
  const std::vector<std::u16string> fitting = Values(s);
  EXPECT_EQ(fitting[0].size(), 15u);
  EXPECT_EQ(fitting[1].size(), 63u);
  EXPECT_EQ(fitting[2].size(), 31u);
  EXPECT_EQ(fitting[3].size(), 31u);
  EXPECT_EQ(fitting[4].size(), 31u);
  EXPECT_EQ(fitting[1].substr(0, 10), u"0.0% 0.0/5");

  // One digit more in each.
  s.fps_cur = 5e15;
  s.gpu_mem_total = 5e50 * kGiB;
  s.cpu = 5e28;
  s.mem_total = s.mem_free = 1024 * 5e23;
  s.disk_used = 5e28;
  EXPECT_EQ(Values(s), (std::vector<std::u16string>{u"--", u"--%", u"--%", u"--/--GB", u"--%"}));
}

std::vector<std::u16string> Texts(const std::vector<TextSegment>& segments);

TEST(FrameRowsTest, LowsFollowTheFrameRateWithTheirLabels) {
  PerfSnapshot s;
  s.fps_valid = true;
  s.fps_cur = 59.6;
  EXPECT_EQ(Values(s)[0], u"60");  // without lows: the row of old
  s.fps_low1 = 41.4;
  s.fps_low01 = 29.5;
  EXPECT_EQ(Values(s)[0], u"60 1% 41 0.1% 30");
  s.fps_low1.reset();
  EXPECT_EQ(Values(s)[0], u"60 0.1% 30");
  // Widest lows the parser takes: each fits beside the widest frame rate of its capacity.
  s.fps_cur = 1e14;
  s.fps_low1 = s.fps_low01 = kHighestFrameRate;
  EXPECT_EQ(Values(s)[0], u"100000000000000 1% 100000 0.1% 100000");
  // A low that does not fit is left out; a frame rate that does not fit shows "--" alone.
  s.fps_low1 = 1e300;
  EXPECT_EQ(Values(s)[0], u"100000000000000 0.1% 100000");
  s.fps_cur = 1e300;
  EXPECT_EQ(Values(s)[0], u"--");
  // No lows beside a frame rate that is not there or stale.
  s.fps_cur = 60;
  s.fps_valid = false;
  EXPECT_EQ(Values(s)[0], u"--");
}

TEST(FrameGraphTest, ScaleIsTwiceTheMedianOrTheLongestFrame) {
  EXPECT_EQ(FrameGraphScale(std::vector<double>{16, 17, 16, 18}), 33.0);  // 2 x 16.5
  EXPECT_EQ(FrameGraphScale(std::vector<double>{17, 16, 100}), 100.0);    // a spike
  EXPECT_EQ(FrameGraphScale(std::vector<double>{0, 0}), kSmallestGraphScaleMs);
}

TEST(FrameGraphTest, ComposedOnlyForThisGamesFrameTimes) {
  PerfSnapshot s;
  s.fps_valid = true;
  s.fps_cur = 60;
  UiStyle style;
  style.font_color = 0x112233;
  ComposedFrame frame;
  ComposeFrame(s, style, frame);
  const uint64_t text_hash = frame.hash;
  EXPECT_FALSE(frame.graph.shown());
  EXPECT_EQ(frame.hash, HashSegments(frame.segments));  // the hash of old without a graph

  s.frame_ms = {16.0};  // one frame is no graph
  ComposeFrame(s, style, frame);
  EXPECT_FALSE(frame.graph.shown());
  EXPECT_EQ(frame.hash, text_hash);

  s.frame_ms = {16.0, 40.0, 17.0};
  ComposeFrame(s, style, frame);
  ASSERT_TRUE(frame.graph.shown());
  EXPECT_EQ(frame.graph.frame_ms, s.frame_ms);
  EXPECT_EQ(frame.graph.scale_ms, 40.0);
  EXPECT_EQ(frame.graph.color, 0x332211u);  // the text's colour
  EXPECT_NE(frame.hash, text_hash);         // the box is taller: estimated again
  EXPECT_EQ(Texts(frame.segments), Texts([&] {
              ComposedFrame plain;
              ComposeFrame(FormatRows(s), style, plain);
              return plain.segments;
            }()));

  // The last read found no entry for this game, or the figures are stale: no graph.
  s.fps_valid = false;
  ComposeFrame(s, style, frame);
  EXPECT_FALSE(frame.graph.shown());
  s.fps_valid = true;
  ComposeFrame(s, style, frame);
  ComposeFrame(FallbackRows(), style, frame);
  EXPECT_FALSE(frame.graph.shown());
  EXPECT_EQ(frame.hash, HashSegments(frame.segments));
}

TEST(FrameRowsTest, StaleRowsAreEveryRowsFallback) {
  const FrameRows rows = FallbackRows();
  std::vector<std::u16string> values;
  for (const RowText& row : rows) values.push_back(row.value);
  EXPECT_EQ(values, (std::vector<std::u16string>{u"--", u"--%", u"--%", u"--/--GB", u"--%"}));
  EXPECT_EQ(rows[0].label, u"FPS");
  EXPECT_EQ(rows[4].label, u"IO");
}

std::vector<std::u16string> Texts(const std::vector<TextSegment>& segments) {
  std::vector<std::u16string> texts;
  for (const TextSegment& s : segments) texts.push_back(s.text);
  return texts;
}

TEST(FrameSegmentsTest, FourteenRunsWithGreySeparators) {
  UiStyle style;
  style.font_color = 0x112233;
  std::vector<TextSegment> segments;
  BuildSegments(FormatRows(PerfSnapshot{}), style, segments);
  ASSERT_EQ(segments.size(), kSegmentCount);
  EXPECT_EQ(Texts(segments), (std::vector<std::u16string>{u"FPS ", u"--", u" | ", u"GPU ", u"--%",
                                                          u" | ", u"CPU ", u"0.0%", u" | ", u"RAM ",
                                                          u"--/--GB", u" | ", u"IO ", u"--%"}));
  for (size_t i = 0; i < segments.size(); ++i) {
    EXPECT_EQ(segments[i].color, i % 3 == 2 ? 0x808080u : 0x332211u) << i;
  }
}

TEST(FrameSegmentsTest, OnlyExactlyVerBreaksLines) {
  UiStyle style;
  std::vector<TextSegment> segments;
  for (const char* direction : {"hor", "VER", "vertical", "", "ver "}) {
    style.direction = direction;
    BuildSegments(FormatRows(PerfSnapshot{}), style, segments);
    EXPECT_EQ(segments[2].text, u" | ") << direction;
  }
  style.direction = "ver";
  BuildSegments(FormatRows(PerfSnapshot{}), style, segments);
  ASSERT_EQ(segments.size(), kSegmentCount);
  int breaks = 0;
  for (const TextSegment& s : segments) breaks += IsLineBreak(s);
  EXPECT_EQ(breaks, 4);
}

TEST(FrameHashTest, FnvOfTheUnitsCombinedInOrderWithoutColours) {
  EXPECT_EQ(HashText(u""), 0xCBF29CE484222325ull);
  EXPECT_EQ(HashText(u"a"), 0xAF63DC4C8601EC8Cull);
  EXPECT_EQ(HashText(u"foobar"), 0x85944171F73967E8ull);
  // Units, not bytes: U+4E2D is one step with the whole unit.
  EXPECT_EQ(HashText(u"\u4E2D"), (0xCBF29CE484222325ull ^ 0x4E2D) * 0x100000001B3ull);

  const std::vector<TextSegment> none;
  EXPECT_EQ(HashSegments(none), 0xCBF29CE484222325ull);
  const std::vector<TextSegment> ab = {{u"a", 1}, {u"b", 2}};
  const std::vector<TextSegment> ab_recoloured = {{u"a", 7}, {u"b", 9}};
  const std::vector<TextSegment> ba = {{u"b", 2}, {u"a", 1}};
  EXPECT_EQ(HashSegments(ab), HashSegments(ab_recoloured));
  EXPECT_NE(HashSegments(ab), HashSegments(ba));
  const uint64_t seed = 0xCBF29CE484222325ull;
  const uint64_t one = seed ^ (HashText(u"a") + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2));
  const uint64_t two = one ^ (HashText(u"b") + 0x9E3779B97F4A7C15ull + (one << 6) + (one >> 2));
  EXPECT_EQ(HashSegments(ab), two);
}

TEST(FontSizeTest, SmallSizesBecomeTwelveAndLargeOnesAreBounded) {
  EXPECT_EQ(EffectiveFontSize(9), 12);
  EXPECT_EQ(EffectiveFontSize(10), 10);
  EXPECT_EQ(EffectiveFontSize(0), 12);
  EXPECT_EQ(EffectiveFontSize(-5), 12);
  EXPECT_EQ(EffectiveFontSize(INT_MIN), 12);
  EXPECT_EQ(EffectiveFontSize(14), 14);
  EXPECT_EQ(EffectiveFontSize(kLargestFontSize), kLargestFontSize);
  EXPECT_EQ(EffectiveFontSize(2000), kLargestFontSize);
  EXPECT_EQ(EffectiveFontSize(INT_MAX), kLargestFontSize);
}

TEST(FontSizeTest, EstimatePixelSizeScalesByDpiWithinBounds) {
  EXPECT_EQ(EstimatePixelSize(14, 96), 14);
  EXPECT_EQ(EstimatePixelSize(14, 144), 21);
  EXPECT_EQ(EstimatePixelSize(15, 120), 19);  // 18.75 rounds up
  EXPECT_EQ(EstimatePixelSize(14, 0), 14);
  EXPECT_EQ(EstimatePixelSize(kLargestFontSize, INT_MAX), kLargestFontSize);
  EXPECT_EQ(EstimatePixelSize(kLargestFontSize, 1000000), kLargestFontSize);
}

TEST(ColourTest, StyleRgbBecomesColorref) {
  EXPECT_EQ(ColorrefFromRgb(0x00FF80), 0x80FF00u);
  EXPECT_EQ(ColorrefFromRgb(0xFF123456), 0x563412u);  // the top byte is not a colour
}

TEST(PlacementTest, MarginsAreOnePercentInSinglePrecision) {
  const std::pair<ScreenRect, ScreenPoint> cases[] = {{{0, 0, 1920, 1080}, {19, 10}},
                                                      {{0, 0, 2560, 1440}, {25, 14}},
                                                      {{0, 0, 3840, 2160}, {38, 21}},
                                                      {{0, 0, 800, 600}, {8, 6}},
                                                      {{0, 0, 99, 0}, {0, 0}}};
  for (const auto& [rect, margin] : cases) {
    const ScreenPoint m = ClientMargins(rect.width, rect.height);
    EXPECT_EQ(m.x, margin.x) << rect.width;
    EXPECT_EQ(m.y, margin.y) << rect.height;
  }
}

TEST(PlacementTest, EveryRowOfThePlacementTable) {
  const ScreenRect client{0, 0, 1920, 1080};
  const struct {
    const char* pos;
    int x, y;
  } rows[] = {
      {"top-center", 810, 10},
      {"top-left", 19, 10},
      {"top-right", 1601, 10},
      {"bottom-left", 19, 1030},
      {"bottom-center", 810, 1030},
      {"bottom-right", 1601, 1030},
      {"left", 19, 520},
      {"right", 1601, 520},
      {"center", 810, 10},
      {"middle", 19, 520},
      {"center-middle", 810, 520},
      {"center-left", 19, 520},
      {"top-bottom", 810, 10},
      {"", 19, 10},
      {"nowhere", 19, 10},
      {"TOP-LEFT", 19, 10},  // case-sensitive: no word found
  };
  for (const auto& row : rows) {
    const ScreenPoint p = PlaceBox(row.pos, client, 300, 40);
    EXPECT_EQ(p.x, row.x) << row.pos;
    EXPECT_EQ(p.y, row.y) << row.pos;
  }
}

TEST(PlacementTest, OffsetClientAreaAndTheTwoCorrections) {
  const ScreenRect client{100, 50, 800, 600};  // margins 8 and 6
  EXPECT_EQ(PlaceBox("bottom-right", client, 300, 40).x, 100 + 800 - 300 - 8);
  EXPECT_EQ(PlaceBox("bottom-right", client, 300, 40).y, 50 + 600 - 40 - 6);
  // A box wider than the client area would start left of it: it goes to the margin instead.
  EXPECT_EQ(PlaceBox("top-center", client, 1000, 40).x, 108);
  // A box taller than the client area would start above it.
  EXPECT_EQ(PlaceBox("bottom-left", client, 300, 700).y, 56);
  // No correction at the right or bottom edges.
  EXPECT_EQ(PlaceBox("left", client, 1000, 40).x, 108);
  EXPECT_EQ(PlaceBox("top-left", client, 1000, 700).y, 56);
}

TEST(PlacementTest, ExtremeRectanglesDoNotOverflow) {
  const ScreenRect huge{INT_MAX - 10, INT_MIN + 10, INT_MAX, INT_MAX};
  const ScreenPoint p = PlaceBox("bottom-right", huge, INT_MAX, INT_MAX);
  EXPECT_EQ(p.x, INT_MAX);  // beyond the int range: held at its end
  EXPECT_LE(p.y, INT_MAX);
  const ScreenPoint q = PlaceBox("center-middle", {INT_MIN, INT_MIN, 0, 0}, INT_MAX, INT_MAX);
  EXPECT_EQ(q.x, INT_MIN);
  EXPECT_EQ(q.y, INT_MIN);
}

TEST(EstimateTest, WidestLineAndLinesAtLeastFourAbovePixelSize) {
  testing::FakeMeasurer measurer(10.0f, {{u"FPS ", 30.4f}, {u"60", 20.5f}, {u" | ", 12.0f}});
  const std::vector<TextSegment> one_line = {{u"FPS ", 0}, {u"60", 0}, {u" | ", 0}, {u"FPS ", 0}};
  TextBox box = EstimateTextBox(one_line, measurer, 14);
  EXPECT_EQ(box.line_height, 18);  // the font's 10 is below 14 + 4
  EXPECT_EQ(box.width, 30 + 21 + 12 + 30 + 16);
  EXPECT_EQ(box.height, 18 + 8);

  testing::FakeMeasurer tall(30.6f, {{u"FPS ", 30.0f}, {u"60", 20.0f}});
  const std::vector<TextSegment> two_lines = {{u"FPS ", 0}, {u"60", 0}, {u"\n", 0}, {u"FPS ", 0}};
  box = EstimateTextBox(two_lines, tall, 14);
  EXPECT_EQ(box.line_height, 31);
  EXPECT_EQ(box.width, 50 + 16);
  EXPECT_EQ(box.height, 2 * 31 + 8);
}

TEST(EstimateTest, AGraphGoesUnderTheTextAtTheEstimatesPixelSize) {
  testing::FakeMeasurer measurer(10.0f, {{u"FPS ", 30.0f}, {u"60", 20.0f}});
  const std::vector<TextSegment> runs = {{u"FPS ", 0}, {u"60", 0}};
  ComposedFrame frame;
  const TextBox text = EstimateTextBox(runs, measurer, 14);
  EXPECT_EQ(WithFrameGraph(text, frame, 14).height, text.height);  // no graph: the same box
  frame.graph.frame_ms = {16, 17};
  const TextBox box = WithFrameGraph(text, frame, 14);
  EXPECT_EQ(box.graph.y, 4 + 18 + 4);  // after the line of 14 + 4 and a gap of a quarter em
  EXPECT_EQ(box.height, box.graph.y + 35 + 4);
  EXPECT_EQ(box.width, 224 + 16);  // 16 em wide at least
}

}  // namespace
}  // namespace corvane
