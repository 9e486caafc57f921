// The overlay's z-order correction: once more exactly when 250 ms have passed since the last one,
// never sooner, also across a wrap of the tick count.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "src/app/frame_composition.h"
#include "src/app/overlay_app.h"
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

}  // namespace
}  // namespace corvane
