// The main loop's decision for one pass, from the game window's state and the tick count.
#include "src/app/pass_decision.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using Action = PassDecision::Action;

constexpr GameWindowState kInFront{true, false, true, true};

TEST(PassDecisionTest, DrawsOnlyWhileTheGameIsInFront) {
  PassDecision d = DecidePass(kInFront, 0, 123);
  EXPECT_EQ(d.action, Action::kDraw);
  EXPECT_EQ(d.delay_ms, 8u);
  EXPECT_EQ(d.lost_since, 0u);
  EXPECT_FALSE(d.recovered || d.lost);

  for (GameWindowState state :
       {GameWindowState{true, true, true, true}, GameWindowState{true, false, false, true},
        GameWindowState{true, false, true, false}}) {
    d = DecidePass(state, 0, 123);
    EXPECT_EQ(d.action, Action::kHide);
    EXPECT_EQ(d.delay_ms, 100u);
    EXPECT_EQ(d.lost_since, 0u);
  }
}

TEST(PassDecisionTest, AbsenceStartsGoesOnAndEndsAfterTheGracePeriod) {
  const GameWindowState gone{};
  PassDecision d = DecidePass(gone, 0, 70000);
  EXPECT_TRUE(d.lost);
  EXPECT_EQ(d.lost_since, 70000u);
  EXPECT_EQ(d.elapsed_ms, 0u);
  EXPECT_EQ(d.action, Action::kHide);
  EXPECT_EQ(d.delay_ms, 200u);

  d = DecidePass(gone, 70000, 74999);
  EXPECT_FALSE(d.lost);
  EXPECT_EQ(d.action, Action::kHide);
  EXPECT_EQ(d.lost_since, 70000u);

  d = DecidePass(gone, 70000, 75000);
  EXPECT_EQ(d.action, Action::kExit);
  EXPECT_EQ(d.elapsed_ms, 5000u);
  EXPECT_EQ(d.delay_ms, 0u);
}

TEST(PassDecisionTest, RecoveryReportsTheAbsenceAndGoesOnAsUsual) {
  PassDecision d = DecidePass(kInFront, 70000, 73010);
  EXPECT_TRUE(d.recovered);
  EXPECT_EQ(d.elapsed_ms, 3010u);
  EXPECT_EQ(d.lost_since, 0u);
  EXPECT_EQ(d.action, Action::kDraw);

  d = DecidePass({true, true, true, true}, 70000, 73010);
  EXPECT_TRUE(d.recovered);
  EXPECT_EQ(d.action, Action::kHide);
}

TEST(PassDecisionTest, TickCountWrapNeitherShortensNorLengthensTheGracePeriod) {
  const GameWindowState gone{};
  const uint32_t start = 0xFFFFF000u;
  EXPECT_EQ(DecidePass(gone, start, 0x00000387u).action, Action::kHide);  // 4999 ms later
  PassDecision d = DecidePass(gone, start, 0x00000388u);                  // 5000 ms later
  EXPECT_EQ(d.action, Action::kExit);
  EXPECT_EQ(d.elapsed_ms, 5000u);
  EXPECT_EQ(DecidePass(kInFront, start, 0x10u).elapsed_ms, 0x1010u);
}

TEST(PassDecisionTest, AnAbsenceSeenAtTickZeroIsStillAnAbsence) {
  const GameWindowState gone{};
  PassDecision d = DecidePass(gone, 0, 0);
  EXPECT_TRUE(d.lost);
  EXPECT_NE(d.lost_since, 0u);
  EXPECT_EQ(d.action, Action::kHide);
  d = DecidePass(gone, d.lost_since, 200);
  EXPECT_FALSE(d.lost);
  EXPECT_EQ(d.action, Action::kHide);
}

}  // namespace
}  // namespace corvane
