// The text box's arithmetic: line breaks, widths, heights, pen positions, colours.
#include "src/window/text_layout.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/fake_text_drawing.h"

namespace corvane {
namespace {

using testing::FakeMeasurer;
using testing::FakePainter;
using testing::RunWidths;

const RunWidths kWidths = {
    {u"FPS ", 30.4f}, {u"60", 15.5f}, {u"GPU ", 31.6f}, {u"37.3%", 40.2f}, {u" | ", 12.25f}};

std::vector<TextSegment> Segments(std::initializer_list<std::u16string> texts,
                                  uint32_t color = 0x00FFFFFF) {
  std::vector<TextSegment> segments;
  for (const std::u16string& text : texts) segments.push_back({text, color});
  return segments;
}

TEST(LineBreakTest, OnlyASingleNewlineBreaks) {
  EXPECT_TRUE(IsLineBreak({u"\n", 0}));
  EXPECT_FALSE(IsLineBreak({u"\n\n", 0}));
  EXPECT_FALSE(IsLineBreak({u" \n", 0}));
  EXPECT_FALSE(IsLineBreak({u"\r", 0}));
  EXPECT_FALSE(IsLineBreak({u"", 0}));
}

TEST(LineHeightTest, RoundedSpacingOrTheMinimum) {
  EXPECT_EQ(LineHeight(27.6f, 23), 28);  // font_px 21: spacing wins
  EXPECT_EQ(LineHeight(20.4f, 23), 23);  // the minimum wins
  EXPECT_EQ(LineHeight(27.5f, 23), 28);  // half rounds up
  EXPECT_EQ(LineHeight(27.49f, 23), 27);
  EXPECT_EQ(LineHeight(0.0f, 16), 16);  // a failed query
  // Just below a half stays down, as it does in exact arithmetic.
  EXPECT_EQ(LineHeight(0.49999997f, 0), 0);
}

TEST(MulDivRoundedTest, RoundsHalfAwayFromZeroLikeWin32) {
  EXPECT_EQ(MulDivRounded(14, 96, 96), 14);
  EXPECT_EQ(MulDivRounded(14, 120, 96), 18);  // 17.5
  EXPECT_EQ(MulDivRounded(14, 144, 96), 21);
  EXPECT_EQ(MulDivRounded(13, 120, 96), 16);    // 16.25
  EXPECT_EQ(MulDivRounded(-14, 120, 96), -18);  // away from zero
  EXPECT_EQ(MulDivRounded(14, 120, -96), -18);
  EXPECT_EQ(MulDivRounded(-14, -120, -96), -18);
  EXPECT_EQ(MulDivRounded(14, 96, 0), -1);
  EXPECT_EQ(MulDivRounded(0x7FFFFFFF, 4, 2), -1);                            // does not fit
  EXPECT_EQ(MulDivRounded(0x40000000, 0x40000000, 0x40000000), 0x40000000);  // 64-bit product
}

TEST(PhysicalPixelsTest, ScalesByTheScreenDpi) {
  EXPECT_EQ(PhysicalPixels(14, 96), 14);
  EXPECT_EQ(PhysicalPixels(14, 120), 18);
  EXPECT_EQ(PhysicalPixels(14, 144), 21);
  // A result below one pixel keeps the logical size.
  EXPECT_EQ(PhysicalPixels(14, 0), 14);
  EXPECT_EQ(PhysicalPixels(1, 40), 1);
}

TEST(MeasureTextBoxTest, OneLineSumsRoundedRunWidths) {
  FakeMeasurer measurer(20.4f, kWidths);
  const auto segments = Segments({u"FPS ", u"60", u" | ", u"GPU ", u"37.3%"});
  const TextBox box = MeasureTextBox(segments, measurer, 16);
  // 30 + 16 + 12 + 32 + 40
  EXPECT_EQ(box.lines, 1);
  EXPECT_EQ(box.line_height, 20);
  EXPECT_EQ(box.width, 130 + 16);
  EXPECT_EQ(box.height, 20 + 8);
  EXPECT_EQ(measurer.measured.size(), 5u);
  EXPECT_EQ(measurer.font_height_calls, 1);
}

TEST(MeasureTextBoxTest, TwoLinesTakeTheWiderOne) {
  FakeMeasurer measurer(27.6f, kWidths);
  const auto segments = Segments({u"FPS ", u"60", u"\n", u"GPU ", u"37.3%"});
  const TextBox box = MeasureTextBox(segments, measurer, 23);
  EXPECT_EQ(box.lines, 2);
  EXPECT_EQ(box.line_height, 28);
  EXPECT_EQ(box.width, 72 + 16);  // the second line: 32 + 40
  EXPECT_EQ(box.height, 2 * 28 + 8);
  // Line breaks are never measured.
  EXPECT_EQ(measurer.measured, (std::vector<std::u16string>{u"FPS ", u"60", u"GPU ", u"37.3%"}));

  // The wider line first.
  FakeMeasurer again(27.6f, kWidths);
  const TextBox reversed =
      MeasureTextBox(Segments({u"GPU ", u"37.3%", u"\n", u"FPS ", u"60"}), again, 23);
  EXPECT_EQ(reversed.width, 72 + 16);
}

TEST(MeasureTextBoxTest, TrailingAndDoubleBreaksAddLines) {
  FakeMeasurer measurer(10.0f, kWidths);
  EXPECT_EQ(MeasureTextBox(Segments({u"FPS ", u"\n"}), measurer, 16).lines, 2);
  const TextBox box = MeasureTextBox(Segments({u"FPS ", u"\n", u"\n", u"60"}), measurer, 16);
  EXPECT_EQ(box.lines, 3);
  EXPECT_EQ(box.height, 3 * 16 + 8);
  EXPECT_EQ(box.width, 30 + 16);
}

TEST(MeasureTextBoxTest, RunWidthJustBelowAHalfRoundsDown) {
  FakeMeasurer measurer(10.0f, {{u"a", 0.49999997f}, {u"b", 16.25f}});
  EXPECT_EQ(MeasureTextBox(Segments({u"a", u"b", u"a"}), measurer, 16).width, 16 + 16);
}

TEST(MeasureTextBoxTest, FailedMeasurementsGiveTheEmptyBox) {
  FakeMeasurer measurer(0.0f, {});  // no font: nothing measures, no line spacing
  const TextBox box = MeasureTextBox(Segments({u"FPS ", u"60", u" | ", u"CPU "}), measurer, 16);
  EXPECT_EQ(box.width, 16);
  EXPECT_EQ(box.height, 16 + 8);
}

TEST(PaintTextBoxTest, BackgroundThenRunsAtTheirPens) {
  FakePainter painter(kWidths);
  const TextBox box{28, 2, 88, 64, {}};
  auto segments = Segments({u"FPS ", u"60", u"\n", u"GPU ", u"37.3%"}, 0x000000FF);
  segments[1].color = 0x00332211;
  PaintTextBox(segments, {}, box, 204, painter);

  ASSERT_EQ(painter.fills.size(), 1u);
  EXPECT_EQ(painter.fills[0].width, 88);
  EXPECT_EQ(painter.fills[0].height, 64);
  EXPECT_EQ(painter.fills[0].argb, 0xCC232328u);

  ASSERT_EQ(painter.runs.size(), 4u);  // the line break is not drawn
  EXPECT_EQ(painter.runs[0].text, u"FPS ");
  EXPECT_FLOAT_EQ(painter.runs[0].x, 8.0f);
  EXPECT_FLOAT_EQ(painter.runs[0].y, 4.0f);
  EXPECT_EQ(painter.runs[0].argb, 0xFFFF0000u);  // red from the low byte
  // Advanced by the unrounded width.
  EXPECT_FLOAT_EQ(painter.runs[1].x, 8.0f + 30.4f);
  EXPECT_FLOAT_EQ(painter.runs[1].y, 4.0f);
  EXPECT_EQ(painter.runs[1].argb, 0xFF112233u);
  // The second line starts at the left margin, one line height lower.
  EXPECT_FLOAT_EQ(painter.runs[2].x, 8.0f);
  EXPECT_FLOAT_EQ(painter.runs[2].y, 4.0f + 28.0f);
  EXPECT_FLOAT_EQ(painter.runs[3].x, 8.0f + 31.6f);
  EXPECT_FLOAT_EQ(painter.runs[3].y, 32.0f);
}

TEST(PaintTextBoxTest, DoubleBreakLeavesAnEmptyLine) {
  FakePainter painter(kWidths);
  PaintTextBox(Segments({u"FPS ", u"\n", u"\n", u"60"}), {}, TextBox{20, 3, 46, 68, {}}, 0,
               painter);
  ASSERT_EQ(painter.runs.size(), 2u);
  EXPECT_FLOAT_EQ(painter.runs[1].x, 8.0f);
  EXPECT_FLOAT_EQ(painter.runs[1].y, 4.0f + 40.0f);
  EXPECT_EQ(painter.fills[0].argb, 0x00232328u);
}

// The graph's room in the box: in ems of the font's pixel size, so it follows the DPI.
TEST(GraphAreaTest, UnderTheTextSizedFromTheFont) {
  const TextBox one_line{20, 1, 600, 28, {}};  // a horizontal line of 584 pixels
  TextBox box = AddGraphArea(one_line, 14);    // 14 px: 96 DPI
  EXPECT_EQ(box.graph.x, 8);
  EXPECT_EQ(box.graph.y, 4 + 20 + 4);  // a gap of a quarter em, rounded
  EXPECT_EQ(box.graph.width, 584);     // as wide as the text
  EXPECT_EQ(box.graph.height, 35);     // 2.5 em
  EXPECT_EQ(box.width, 600);
  EXPECT_EQ(box.height, 4 + 20 + 4 + 35 + 4);  // the gap in place of the text's margin
  EXPECT_EQ(box.lines, 1);
  EXPECT_EQ(box.line_height, 20);

  box = AddGraphArea(one_line, 21);  // the same font at 144 DPI
  EXPECT_EQ(box.graph.y, 4 + 20 + 5);
  EXPECT_EQ(box.graph.height, 53);  // 52.5 rounds up
  EXPECT_EQ(box.graph.width, 584);

  const TextBox five_lines{20, 5, 150, 108, {}};  // vertical: narrower than the graph's least
  box = AddGraphArea(five_lines, 14);
  EXPECT_EQ(box.graph.y, 4 + 5 * 20 + 4);  // under the five lines
  EXPECT_EQ(box.graph.width, 224);         // 16 em
  EXPECT_EQ(box.width, 224 + 16);
  EXPECT_EQ(box.height, 4 + 5 * 20 + 4 + 35 + 4);
  box = AddGraphArea(five_lines, 21);
  EXPECT_EQ(box.graph.width, 336);
  EXPECT_EQ(box.height, 4 + 5 * 20 + 5 + 53 + 4);
}

TEST(GraphAreaTest, OutlineHasABarPerFrameNewestOnTheRight) {
  FrameGraph graph;
  MakeFrameGraph(std::vector<double>{10, 20, 40}, std::nullopt, 0x0000FF, graph);
  ASSERT_EQ(graph.scale_ms, 40.0);
  std::vector<GraphBar> bars;
  GraphBars(graph, GraphArea{8, 30, 300, 40}, bars);
  std::vector<GraphPoint> outline;
  GraphOutline(bars, 70, outline);
  const std::vector<std::pair<float, float>> expected = {
      {8, 70}, {8, 60}, {108, 60}, {108, 50}, {208, 50}, {208, 30}, {308, 30}, {308, 70}};
  ASSERT_EQ(outline.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_FLOAT_EQ(outline[i].x, expected[i].first) << i;
    EXPECT_FLOAT_EQ(outline[i].y, expected[i].second) << i;
  }
  // A frame beyond the scale stops at the top.
  graph.scale_ms = 20;
  GraphBars(graph, GraphArea{8, 30, 300, 40}, bars);
  EXPECT_FLOAT_EQ(bars[2].top, 30.0f);

  // The line along the tops, 2 pixels, inside the bars: a level piece on each bar and an
  // upright one inside the higher of two neighbours; a bar of no height keeps its line.
  graph.frame_ms = {10, 20, 0};
  GraphBars(graph, GraphArea{8, 30, 300, 40}, bars);
  std::vector<GraphRect> line;
  GraphTopLine(bars, 70, 2, line);
  const std::vector<std::vector<float>> rects = {
      {8, 50, 100, 2}, {108, 30, 2, 22}, {108, 30, 100, 2}, {206, 30, 2, 40}, {208, 68, 100, 2}};
  ASSERT_EQ(line.size(), rects.size());
  for (size_t i = 0; i < rects.size(); ++i) {
    EXPECT_EQ((std::vector<float>{line[i].x, line[i].y, line[i].width, line[i].height}), rects[i])
        << i;
  }

  MakeFrameGraph(std::vector<double>{10}, std::nullopt, 0, graph);  // too few frames
  EXPECT_FALSE(graph.shown());
}

// More frames than pixel columns (the vertical layout at 12 px has 192): each column shows the
// longest frame that falls in it, so a spike anywhere reaches the top of a whole column.
TEST(GraphAreaTest, ASpikeAtAnyPositionIsDrawnWhenFramesOutnumberColumns) {
  const GraphArea area{8, 100, 192, 30};
  for (size_t frames : {200u, 240u}) {
    for (size_t spike = 0; spike < frames; ++spike) {
      FrameGraph graph;
      graph.frame_ms.assign(frames, 16.7);
      graph.frame_ms[spike] = 120.0;
      graph.scale_ms = 40.0;
      std::vector<GraphBar> bars;
      GraphBars(graph, area, bars);
      ASSERT_EQ(bars.size(), 192u);
      size_t at_top = 0;
      for (size_t c = 0; c < bars.size(); ++c) {
        EXPECT_EQ(bars[c].left, static_cast<float>(8 + c));  // whole pixel columns
        EXPECT_EQ(bars[c].right, static_cast<float>(9 + c));
        if (bars[c].top == 100.0f) ++at_top;
      }
      EXPECT_EQ(at_top, 1u) << frames << " frames, spike at " << spike;
    }
  }
}

TEST(PaintTextBoxTest, GraphAfterTheTextInItsColourOnlyWhereThereIsRoom) {
  const auto segments = Segments({u"FPS ", u"60"});
  FrameGraph graph;
  MakeFrameGraph(std::vector<double>{16, 32}, std::nullopt, 0x000000FF, graph);
  FakePainter painter(kWidths);
  const TextBox box = AddGraphArea(TextBox{20, 1, 62, 28, {}}, 14);
  PaintTextBox(segments, graph, box, 204, painter);
  EXPECT_EQ(painter.fills[0].height, box.height);  // the background holds the graph too
  EXPECT_EQ(painter.runs.size(), 2u);
  // The label in the area's top-left corner, at three quarters of an em, in the text's colour.
  ASSERT_EQ(painter.labels.size(), 1u);
  EXPECT_EQ(painter.labels[0].text, u"50 ms");
  EXPECT_EQ(painter.labels[0].x, static_cast<float>(box.graph.x));
  EXPECT_EQ(painter.labels[0].y, static_cast<float>(box.graph.y));
  EXPECT_EQ(painter.labels[0].pixel_size, 11);
  EXPECT_EQ(painter.labels[0].argb, 0xFFFF0000u);
  // The bars right of it (its 30 pixels and a gap of a quarter em): faint bodies under a
  // full-strength line of one pixel along their tops.
  ASSERT_EQ(painter.graphs.size(), 1u);
  EXPECT_EQ(painter.graphs[0].argb, (kGraphBodyAlpha << 24) | 0xFF0000u);
  EXPECT_EQ(painter.graphs[0].outline.size(), 6u);
  EXPECT_FLOAT_EQ(painter.graphs[0].outline.front().x, static_cast<float>(box.graph.x + 30 + 4));
  EXPECT_FLOAT_EQ(painter.graphs[0].outline.back().x,
                  static_cast<float>(box.graph.x + box.graph.width));
  EXPECT_FLOAT_EQ(painter.graphs[0].outline.front().y,
                  static_cast<float>(box.graph.y + box.graph.height));
  ASSERT_EQ(painter.lines.size(), 1u);
  EXPECT_EQ(painter.lines[0].argb, 0xFFFF0000u);
  EXPECT_EQ(painter.lines[0].rects.front().height, 1.0f);

  // A target: a grey line across the bars at its height, half-way up, under the tops' line.
  MakeFrameGraph(std::vector<double>{16, 32}, 10.0, 0x000000FF, graph);
  FakePainter with_target(kWidths);
  PaintTextBox(segments, graph, box, 204, with_target);
  EXPECT_EQ(with_target.labels[0].text, u"20 ms");
  ASSERT_EQ(with_target.lines.size(), 2u);
  EXPECT_EQ(with_target.lines[0].argb, 0xFF808080u);
  ASSERT_EQ(with_target.lines[0].rects.size(), 1u);
  const GraphRect target = with_target.lines[0].rects[0];
  EXPECT_FLOAT_EQ(target.y + target.height / 2, box.graph.y + box.graph.height / 2.0f);
  EXPECT_FLOAT_EQ(target.x + target.width, static_cast<float>(box.graph.x + box.graph.width));

  FakePainter without_room(kWidths);  // a box measured without the graph draws none
  PaintTextBox(segments, graph, TextBox{20, 1, 62, 28, {}}, 204, without_room);
  EXPECT_TRUE(without_room.graphs.empty());
  EXPECT_TRUE(without_room.labels.empty());
  FakePainter without_graph(kWidths);
  PaintTextBox(segments, {}, box, 204, without_graph);
  EXPECT_TRUE(without_graph.graphs.empty());
  EXPECT_TRUE(without_graph.lines.empty());
}

TEST(ColourTest, BackgroundAndTextConversions) {
  EXPECT_EQ(BackgroundArgb(0), 0x00232328u);
  EXPECT_EQ(BackgroundArgb(255), 0xFF232328u);
  EXPECT_EQ(OpaqueArgbFromColorref(0x000000FF), 0xFFFF0000u);
  EXPECT_EQ(OpaqueArgbFromColorref(0x00FF0000), 0xFF0000FFu);
  EXPECT_EQ(OpaqueArgbFromColorref(0x00808080), 0xFF808080u);
  // A stray top byte does not reach the alpha.
  EXPECT_EQ(OpaqueArgbFromColorref(0x12FFFFFF), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace corvane
