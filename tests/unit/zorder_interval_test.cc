// The overlay's z-order correction: once more exactly when 250 ms have passed since the last one,
// never sooner, also across a wrap of the tick count; and where it puts the overlay, never
// behind a topmost window while the game is not topmost.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "src/app/frame_composition.h"
#include "src/app/overlay_app.h"
#include "src/window/z_order.h"
#include "tests/support/fake_overlay_platform.h"
#include "tests/support/test_logger.h"

namespace corvane {
namespace {

TEST(ZOrderIntervalTest, CorrectionIsDueAtExactly250Ms) {
  testing::TestLogger logger;
  testing::ScopedLoggerReplacement replacement(&logger);
  // Starts just before a wrap of the tick count: the interval is an unsigned difference.
  for (const uint32_t start : {100000u, 0xFFFFFF00u}) {
    SCOPED_TRACE(start);
    testing::FakeOverlayPlatform platform;
    platform.tick = start;
    OverlayApp app(platform);
    ASSERT_TRUE(app.Init({0x1A2B, 42}));
    auto restacks_at = [&](uint32_t after_ms) {
      platform.Take();
      platform.tick = start + after_ms;
      app.UpdateFrame();
      const auto calls = platform.Take();
      return std::count(calls.begin(), calls.end(), std::string("KeepAbove"));
    };
    EXPECT_EQ(restacks_at(0), 1);
    EXPECT_EQ(restacks_at(kZOrderIntervalMs - 1), 0);
    EXPECT_EQ(restacks_at(kZOrderIntervalMs), 1);
    EXPECT_EQ(restacks_at(2 * kZOrderIntervalMs - 1), 0);
    EXPECT_EQ(restacks_at(2 * kZOrderIntervalMs), 1);
  }
}

std::vector<InsertAfter> Moves(const ZOrderView& view) {
  const ZOrderMoves moves = PlanKeepAbove(view);
  return {moves.begin(), moves.end()};
}

TEST(ZOrderPlanTest, ATopmostWindowIsNeverInsertedBehindWhileTheGameIsNotTopmost) {
  using enum InsertAfter;
  // A game in front with the lowest topmost window (a taskbar, a hidden tooltip) above it: the
  // top of the non-topmost band instead, which is directly above the game.
  EXPECT_EQ(Moves({.above_exists = true, .above_topmost = true}), std::vector{kTop});
  // An ordinary window above the game: behind it, as ever.
  EXPECT_EQ(Moves({.above_exists = true}), std::vector{kWindowAbove});
  // The game at the very top.
  EXPECT_EQ(Moves({}), std::vector{kTop});
  // Already directly above: nothing.
  EXPECT_TRUE(Moves({.above_exists = true, .above_is_overlay = true}).empty());

  // The overlay became topmost (on Windows, by an insert behind a topmost window): out of the
  // topmost band first, wherever it lies, also directly above the game.
  EXPECT_EQ(Moves({.above_exists = true, .above_topmost = true, .overlay_topmost = true}),
            (std::vector{kNotTopmost, kTop}));
  EXPECT_EQ(Moves({.above_exists = true, .overlay_topmost = true}),
            (std::vector{kNotTopmost, kWindowAbove}));
  EXPECT_EQ(Moves({.above_exists = true,
                   .above_is_overlay = true,
                   .above_topmost = true,
                   .overlay_topmost = true}),
            (std::vector{kNotTopmost, kTop}));
}

TEST(ZOrderPlanTest, ATopmostGameIsFollowedIntoTheTopmostBand) {
  using enum InsertAfter;
  EXPECT_EQ(Moves({.game_topmost = true}), std::vector{kTopmost});
  EXPECT_EQ(Moves({.above_exists = true, .above_topmost = true, .game_topmost = true}),
            (std::vector{kTopmost, kWindowAbove}));
  EXPECT_EQ(Moves({.above_exists = true,
                   .above_topmost = true,
                   .game_topmost = true,
                   .overlay_topmost = true}),
            std::vector{kWindowAbove});
  EXPECT_EQ(Moves({.game_topmost = true, .overlay_topmost = true}), std::vector{kTop});
  EXPECT_TRUE(Moves({.above_exists = true,
                     .above_is_overlay = true,
                     .above_topmost = true,
                     .game_topmost = true,
                     .overlay_topmost = true})
                  .empty());
}

}  // namespace
}  // namespace corvane
