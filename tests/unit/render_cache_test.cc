// When a render paints, moves the window or does nothing at all.
#include "src/window/render_cache.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/fake_text_drawing.h"

namespace corvane {
namespace {

using testing::FakeSurface;

const std::vector<TextSegment> kRuns = {{u"FPS ", 0xFFFFFF}, {u"60", 0xFFFFFF}};

TEST(RenderCacheTest, FirstRenderPaintsAndPresents) {
  RenderCache cache;
  FakeSurface surface;
  EXPECT_TRUE(cache.dirty());
  cache.Render(kRuns, {}, 10, 20, 204, surface);
  EXPECT_EQ(surface.paints, 1);
  EXPECT_EQ(surface.painted_alpha, 204);
  ASSERT_EQ(surface.presented.size(), 1u);
  EXPECT_EQ(surface.presented[0].x, 10);
  EXPECT_EQ(surface.presented[0].y, 20);
  EXPECT_EQ(surface.presented[0].width, 120);
  EXPECT_EQ(surface.presented[0].height, 32);
  EXPECT_FALSE(cache.dirty());
  EXPECT_EQ(cache.last_alpha(), 204);
}

TEST(RenderCacheTest, SamePlaceMakesNoCallAndANewPlaceOnlyMoves) {
  RenderCache cache;
  FakeSurface surface;
  cache.Render(kRuns, {}, 10, 20, 204, surface);
  const int after_first = surface.calls();

  cache.Render(kRuns, {}, 10, 20, 204, surface);
  EXPECT_EQ(surface.calls(), after_first);

  cache.Render(kRuns, {}, 11, 20, 204, surface);
  EXPECT_EQ(surface.paints, 1);
  ASSERT_EQ(surface.presented.size(), 2u);
  EXPECT_EQ(surface.presented[1].x, 11);
  EXPECT_EQ(surface.presented[1].width, 120);  // the stored bitmap's size
  EXPECT_EQ(cache.last_x(), 11);

  cache.Render(kRuns, {}, 11, 20, 204, surface);
  EXPECT_EQ(surface.presented.size(), 2u);
}

TEST(RenderCacheTest, NewTextWaitsForADirtyMarkOrANewAlpha) {
  RenderCache cache;
  FakeSurface surface;
  cache.Render(kRuns, {}, 0, 0, 100, surface);
  const std::vector<TextSegment> changed = {{u"FPS ", 0xFFFFFF}, {u"61", 0xFFFFFF}};
  cache.Render(changed, {}, 0, 0, 100, surface);
  EXPECT_EQ(surface.paints, 1);

  cache.MarkDirty();
  cache.Render(changed, {}, 0, 0, 100, surface);
  EXPECT_EQ(surface.paints, 2);
  EXPECT_EQ(surface.painted_texts.back(), u"61");

  // A new opacity repaints even at the same place and with the same text.
  cache.Render(changed, {}, 0, 0, 101, surface);
  EXPECT_EQ(surface.paints, 3);
  EXPECT_EQ(surface.painted_alpha, 101);
  EXPECT_EQ(surface.presented.size(), 3u);
}

TEST(RenderCacheTest, FailedPaintIsNotRetriedOnEveryFrame) {
  RenderCache cache;
  FakeSurface surface;
  surface.fail_paint = true;
  cache.Render(kRuns, {}, 5, 6, 50, surface);
  EXPECT_EQ(surface.paints, 1);
  EXPECT_TRUE(surface.presented.empty());
  EXPECT_EQ(cache.last_x(), -1);
  EXPECT_FALSE(cache.bitmap());

  // The frames after it, even at another place, ask for no bitmap and show nothing.
  cache.Render(kRuns, {}, 5, 6, 50, surface);
  cache.Render(kRuns, {}, 7, 8, 50, surface);
  EXPECT_EQ(surface.paints, 1);
  EXPECT_TRUE(surface.presented.empty());

  // A dirty mark (the next refresh) or a new opacity tries again.
  surface.fail_paint = false;
  cache.MarkDirty();
  cache.Render(kRuns, {}, 5, 6, 50, surface);
  EXPECT_EQ(surface.paints, 2);
  EXPECT_EQ(surface.presented.size(), 1u);
  EXPECT_FALSE(cache.dirty());

  surface.fail_paint = true;
  cache.Render(kRuns, {}, 5, 6, 51, surface);
  EXPECT_EQ(surface.paints, 3);
  surface.fail_paint = false;
  cache.Render(kRuns, {}, 5, 6, 51, surface);
  EXPECT_EQ(surface.paints, 3);
  // The bitmap from before the failed paint still moves with the game window.
  cache.Render(kRuns, {}, 9, 6, 51, surface);
  EXPECT_EQ(surface.presented.back().x, 9);
  cache.Render(kRuns, {}, 9, 6, 52, surface);
  EXPECT_EQ(surface.paints, 4);
}

TEST(RenderCacheTest, ForgottenBitmapIsPaintedAgain) {
  RenderCache cache;
  FakeSurface surface;
  cache.Render(kRuns, {}, 0, 0, 7, surface);
  cache.ForgetBitmap();
  cache.Render(kRuns, {}, 0, 0, 7, surface);
  EXPECT_EQ(surface.paints, 2);
}

TEST(RenderCacheTest, NoRunsNoCall) {
  RenderCache cache;
  FakeSurface surface;
  cache.Render({}, {}, 0, 0, 7, surface);
  EXPECT_EQ(surface.calls(), 0);
  EXPECT_TRUE(cache.dirty());
}

TEST(RenderCacheTest, GraphShowsOnlyAtAPaint) {
  RenderCache cache;
  FakeSurface surface;
  FrameGraph graph;
  graph.frame_ms = {16, 17};
  cache.Render(kRuns, graph, 0, 0, 100, surface);
  EXPECT_EQ(surface.painted_graph, graph.frame_ms);
  // New frame times without a dirty mark: nothing is drawn, not even at a new place.
  graph.frame_ms = {16, 17, 50};
  cache.Render(kRuns, graph, 0, 0, 100, surface);
  cache.Render(kRuns, graph, 3, 0, 100, surface);
  EXPECT_EQ(surface.paints, 1);
  cache.MarkDirty();
  cache.Render(kRuns, graph, 3, 0, 100, surface);
  EXPECT_EQ(surface.paints, 2);
  EXPECT_EQ(surface.painted_graph, graph.frame_ms);
}

// The box's least width, which the steady horizontal box changes between refreshes, repaints
// like a new opacity; an unchanged one only moves the box.
TEST(RenderCacheTest, NewLeastWidthRepaints) {
  RenderCache cache;
  FakeSurface surface;
  cache.Render(kRuns, {}, 0, 0, 100, surface, 507);
  EXPECT_EQ(surface.painted_least_width, 507);
  cache.Render(kRuns, {}, 4, 0, 100, surface, 507);
  EXPECT_EQ(surface.paints, 1);
  cache.Render(kRuns, {}, 14, 0, 100, surface, 479);
  EXPECT_EQ(surface.paints, 2);
  EXPECT_EQ(surface.painted_least_width, 479);
  EXPECT_EQ(surface.presented.back().x, 14);
}

}  // namespace
}  // namespace corvane
