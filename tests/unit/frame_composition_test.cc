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

// 200 frames of a steady 60 fps game, with a little jitter.
std::vector<double> SteadyFrames(size_t count = 200, double ms = 16.7) {
  std::vector<double> frames;
  for (size_t i = 0; i < count; ++i) frames.push_back(ms + 0.3 * static_cast<double>(i % 5) - 0.6);
  return frames;
}

TEST(FrameGraphTest, ScaleIsTwiceTheMedianRoundedUpToAStep) {
  EXPECT_EQ(FrameGraphScale(std::vector<double>{16, 17, 16, 18}, std::nullopt), 40.0);  // 33
  EXPECT_EQ(FrameGraphScale(std::vector<double>{6.9, 7.0, 6.8}, std::nullopt), 15.0);   // 13.8
  EXPECT_EQ(FrameGraphScale(std::vector<double>{0, 0}, std::nullopt), kSmallestGraphScaleMs);
  EXPECT_EQ(FrameGraphScale(std::vector<double>{30000, 60000}, std::nullopt), 100000.0);
  EXPECT_EQ(GraphScaleStepAtLeast(40.0), 40.0);  // a step is its own
  EXPECT_EQ(GraphScaleStepAtLeast(40.01), 50.0);
  EXPECT_EQ(GraphScaleStepAtLeast(1.1), 1.2);
  EXPECT_EQ(GraphScaleStepAtLeast(250.5), 300.0);

  // Spikes, up to 1% of the frames, change nothing: each is drawn clipped at the top.
  for (size_t count : {200u, 240u}) {
    std::vector<double> frames = SteadyFrames(count);
    const double steady = FrameGraphScale(frames, std::nullopt);
    EXPECT_EQ(steady, 40.0);
    frames[count / 3] = 120.0;
    frames[count - 1] = 250.0;
    EXPECT_EQ(FrameGraphScale(frames, std::nullopt), steady) << count;
  }

  // A median that wavers about a step's edge: up at once, down only well below the edge.
  const std::vector<double> above(200, 20.2);       // 40.4: 50
  const std::vector<double> just_below(200, 19.5);  // 39: within 90% of 40, so 50 stays
  const std::vector<double> well_below(200, 17.5);  // 35: 40
  EXPECT_EQ(FrameGraphScale(above, std::nullopt, 40.0), 50.0);
  EXPECT_EQ(FrameGraphScale(just_below, std::nullopt, 50.0), 50.0);
  EXPECT_EQ(FrameGraphScale(well_below, std::nullopt, 50.0), 40.0);
  EXPECT_EQ(FrameGraphScale(just_below, std::nullopt), 40.0);        // new: no step to keep
  EXPECT_EQ(FrameGraphScale(well_below, std::nullopt, 80.0), 40.0);  // more than one step down
  FrameGraph graph;
  for (const auto* frames : {&above, &just_below, &above, &just_below}) {
    MakeFrameGraph(*frames, std::nullopt, 0, graph);
    EXPECT_EQ(graph.scale_ms, 50.0);
    EXPECT_EQ(graph.label, u"50 ms");
  }
  MakeFrameGraph(well_below, std::nullopt, 0, graph);
  EXPECT_EQ(graph.label, u"40 ms");

  // With a target: exactly twice it, whatever the frames.
  EXPECT_EQ(FrameGraphScale(SteadyFrames(), 16.0), 32.0);
  EXPECT_EQ(FrameGraphScale(above, 6.25, 50.0), 12.5);
  MakeFrameGraph(SteadyFrames(), 1000.0 / 60.0, 0, graph);
  EXPECT_DOUBLE_EQ(graph.scale_ms, 2000.0 / 60.0);
  EXPECT_EQ(graph.target_ms, 1000.0 / 60.0);
  EXPECT_EQ(graph.label, u"33 ms");
  MakeFrameGraph(just_below, std::nullopt, 0, graph);  // the target gone: no step to keep
  EXPECT_EQ(graph.scale_ms, 40.0);
  EXPECT_EQ(graph.target_ms, std::nullopt);
}

TEST(FrameGraphTest, LabelTellsTheScaleInMilliseconds) {
  EXPECT_EQ(GraphScaleLabel(40.0), u"40 ms");
  EXPECT_EQ(GraphScaleLabel(1.0), u"1 ms");
  EXPECT_EQ(GraphScaleLabel(1.5), u"1.5 ms");
  EXPECT_EQ(GraphScaleLabel(2000.0 / 60.0), u"33 ms");
  EXPECT_EQ(GraphScaleLabel(100000.0), u"100000 ms");
  FrameGraph graph;
  MakeFrameGraph(std::vector<double>{16.0}, std::nullopt, 0, graph);  // no graph: no label
  EXPECT_EQ(graph.label, u"");
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
  EXPECT_EQ(frame.graph.scale_ms, 40.0);  // twice 17
  EXPECT_EQ(frame.graph.target_ms, std::nullopt);
  EXPECT_EQ(frame.graph.color, 0x332211u);  // the text's colour
  EXPECT_NE(frame.hash, text_hash);         // the box is taller: estimated again
  EXPECT_EQ(Texts(frame.segments), Texts([&] {
              ComposedFrame plain;
              ComposeFrame(FormatRows(s), style, plain);
              return plain.segments;
            }()));

  s.fps_target_ms = 25.0;
  ComposeFrame(s, style, frame);
  EXPECT_EQ(frame.graph.scale_ms, 50.0);
  EXPECT_EQ(frame.graph.target_ms, 25.0);

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

// The text's runs of one row, as (text, colour) pairs: the label's run left out.
std::vector<std::pair<std::u16string, uint32_t>> RowRuns(const std::vector<TextSegment>& segments,
                                                         std::u16string_view label) {
  std::vector<std::pair<std::u16string, uint32_t>> runs;
  bool in_row = false;
  for (const TextSegment& s : segments) {
    if (s.color == kSeparatorColorref) in_row = false;
    if (in_row) runs.emplace_back(s.text, s.color);
    if (s.text.starts_with(label) && s.text.size() == label.size() + 1) in_row = true;
  }
  return runs;
}

ColorThresholds Thresholds(std::vector<double> values, std::vector<uint32_t> colors) {
  return {std::move(values), std::move(colors)};
}

TEST(FrameSegmentsTest, EachRowsFiguresTakeTheColourOfTheirRange) {
  constexpr uint32_t kRed = 0xFF0000, kYellow = 0xFFFF00, kGreen = 0x00FF00;
  constexpr uint32_t kRedRef = 0x0000FF, kYellowRef = 0x00FFFF, kGreenRef = 0x00FF00;
  constexpr uint32_t kText = 0x332211;  // the style's 0x112233 as a COLORREF
  UiStyle style;
  style.font_color = 0x112233;
  // Frame rates below 30 red, 30 to below 60 yellow, from 60 green; loads the other way.
  style.colors[0] = Thresholds({30, 60}, {kRed, kYellow, kGreen});
  for (size_t row = 1; row < kColorRowCount; ++row) {
    style.colors[row] = Thresholds({50, 90}, {kGreen, kYellow, kRed});
  }
  PerfSnapshot s;
  s.fps_valid = true;
  s.fps_cur = 59.6;  // shows, and counts, as 60
  s.fps_low1 = 41;
  s.fps_low01 = 29.4;
  s.gpu_valid = true;
  s.gpu = 90.0;
  s.gpu_mem_total = 8 * kGiB;
  s.cpu = 49.96;  // shows as 50.0
  s.mem_total = 1024;
  s.mem_free = 512;  // half used
  s.disk_valid = true;
  s.disk_used = 12;
  std::vector<TextSegment> segments;
  BuildSegments(FormatRows(s), style, segments);
  using Runs = std::vector<std::pair<std::u16string, uint32_t>>;
  // The frame rate and each low in runs of their own; the lows' labels in the text's colour.
  EXPECT_EQ(RowRuns(segments, u"FPS"), (Runs{{u"60", kGreenRef},
                                             {u" 1% ", kText},
                                             {u"41", kYellowRef},
                                             {u" 0.1% ", kText},
                                             {u"29", kRedRef}}));
  EXPECT_EQ(RowRuns(segments, u"GPU"), (Runs{{u"90.0% 0.0/8.0GB", kRedRef}}));
  EXPECT_EQ(RowRuns(segments, u"CPU"), (Runs{{u"50.0%", kYellowRef}}));
  EXPECT_EQ(RowRuns(segments, u"RAM"), (Runs{{u"0.5/1.0GB", kYellowRef}}));  // 50% used
  EXPECT_EQ(RowRuns(segments, u"IO"), (Runs{{u"12.0%", kGreenRef}}));
  // Labels and separators keep their colours.
  EXPECT_EQ(segments[0].text, u"FPS ");
  EXPECT_EQ(segments[0].color, kText);
  EXPECT_EQ(segments[6].color, kSeparatorColorref);

  // Fallbacks keep the text's colour; so does a row without thresholds.
  s.gpu_valid = false;
  s.mem_total = 0;
  s.disk_used = 1e300;  // too long for its row
  style.colors[2] = {};
  BuildSegments(FormatRows(s), style, segments);
  EXPECT_EQ(RowRuns(segments, u"IO"), (Runs{{u"--%", kText}}));
  EXPECT_EQ(RowRuns(segments, u"GPU"), (Runs{{u"--%", kText}}));
  EXPECT_EQ(RowRuns(segments, u"CPU"), (Runs{{u"50.0%", kText}}));
  EXPECT_EQ(RowRuns(segments, u"RAM"), (Runs{{u"--/--GB", kText}}));
  BuildSegments(FallbackRows(), style, segments);
  EXPECT_EQ(RowRuns(segments, u"FPS"), (Runs{{u"--", kText}}));

  // Without colours every row is one run in the text's colour, the lows in the frame rate's.
  const UiStyle plain;
  s.gpu_valid = true;
  s.disk_used = 12;
  BuildSegments(FormatRows(s), plain, segments);
  EXPECT_EQ(segments.size(), kSegmentCount);
  EXPECT_EQ(RowRuns(segments, u"FPS"), (Runs{{u"60 1% 41 0.1% 29", 0xFFFFFF}}));
  for (const TextSegment& segment : segments) {
    EXPECT_EQ(segment.color, segment.text == u" | " ? kSeparatorColorref : 0xFFFFFFu);
  }
}

TEST(FrameSegmentsTest, ThresholdsAtTheirEdges) {
  const ColorThresholds t = Thresholds({30, 60}, {1, 2, 3});
  EXPECT_EQ(t.ColorOf(-5), 1u);
  EXPECT_EQ(t.ColorOf(29.99), 1u);
  EXPECT_EQ(t.ColorOf(30), 2u);  // from a value on, the next colour
  EXPECT_EQ(t.ColorOf(59.9), 2u);
  EXPECT_EQ(t.ColorOf(60), 3u);
  EXPECT_EQ(t.ColorOf(1e300), 3u);
  EXPECT_EQ(Thresholds({}, {7}).ColorOf(12), 7u);  // one colour for every figure
}

// A horizontal box over figures that gain and lose a digit every second.
TEST(SteadyBoxWidthTest, WidensAtOnceAndNarrowsOnlyAfterSeconds) {
  SteadyBoxWidth steady;
  uint32_t now = 0xFFFFF000u;  // the tick count wraps on the way
  EXPECT_EQ(steady.Take(479, 1, now), 479);
  EXPECT_EQ(steady.Take(507, 1, now += 1000), 507);  // wider: at once
  for (int second = 0; second < 10; ++second) {      // 479 and 507 by turns: stays
    EXPECT_EQ(steady.Take(second % 2 ? 507 : 479, 1, now += 1000), 507) << second;
  }
  // Narrower for good: after three seconds, to the widest it needed meanwhile.
  EXPECT_EQ(steady.Take(470, 1, now += 1000), 507);
  EXPECT_EQ(steady.Take(490, 1, now += 8), 507);
  EXPECT_EQ(steady.Take(479, 1, now += 2000), 507);
  EXPECT_EQ(steady.Take(479, 1, now += 992), 490);
  EXPECT_EQ(steady.Take(479, 1, now += 1), 490);  // narrower than 490: a new spell
  EXPECT_EQ(steady.Take(479, 1, now += 2999), 490);
  EXPECT_EQ(steady.Take(479, 1, now += 1), 479);
  // A new style or font size: its width at once, narrower too.
  EXPECT_EQ(steady.Take(507, 1, now += 1000), 507);
  EXPECT_EQ(steady.Take(400, 2, now += 8), 400);
  steady.Reset();  // the vertical layout: nothing held
  EXPECT_EQ(steady.Take(300, 2, now += 8), 300);
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
