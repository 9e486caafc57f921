// The memory log's ring: placement, the wrap with its filler, and the order of a copy.
#include <gtest/gtest.h>

#include <string>

#include "base/log/log_ring.h"

namespace {

struct SmallRing {
  std::string bytes = std::string(16, '.');
  base::LogRing ring;
  SmallRing() { ring.Attach(reinterpret_cast<uint8_t*>(bytes.data()), 16); }
  std::string Copy() const { return std::string(ring.Older()) + std::string(ring.Newer()); }
};

TEST(LogRingTest, PiecesLieEndToEndUntilOneDoesNotFit) {
  SmallRing r;
  EXPECT_TRUE(r.ring.Place("abcd"));
  EXPECT_TRUE(r.ring.Place("efg"));
  EXPECT_EQ(r.ring.position(), 7u);
  EXPECT_FALSE(r.ring.wrapped());
  EXPECT_EQ(r.Copy(), "abcdefg");
  EXPECT_EQ(r.bytes, "abcdefg.........");  // bytes of an earlier run stay beyond the pieces
}

TEST(LogRingTest, PieceEqualToTheSpaceLeftGoesToTheStart) {
  SmallRing r;
  ASSERT_TRUE(r.ring.Place("0123456789"));
  ASSERT_TRUE(r.ring.Place("ABCDEF"));  // exactly the 6 bytes left: not placed there
  EXPECT_TRUE(r.ring.wrapped());
  EXPECT_EQ(r.ring.position(), 6u);
  EXPECT_EQ(r.bytes, "ABCDEF6789      ");
  // Oldest first: the filler spaces belong to the older part.
  EXPECT_EQ(r.Copy(), "6789      ABCDEF");
}

TEST(LogRingTest, PieceOneShorterThanTheSpaceLeftStaysAtTheEnd) {
  SmallRing r;
  ASSERT_TRUE(r.ring.Place("0123456789"));
  ASSERT_TRUE(r.ring.Place("ABCDE"));
  EXPECT_FALSE(r.ring.wrapped());
  EXPECT_EQ(r.ring.position(), 15u);
}

TEST(LogRingTest, OversizedEmptyAndDetachedPiecesAreDropped) {
  SmallRing r;
  ASSERT_TRUE(r.ring.Place("xy"));
  EXPECT_FALSE(r.ring.Place(std::string(16, 'z')));  // as large as the capacity
  EXPECT_FALSE(r.ring.Place(std::string(40, 'z')));
  EXPECT_FALSE(r.ring.Place(""));
  EXPECT_EQ(r.ring.position(), 2u);
  EXPECT_FALSE(r.ring.wrapped());
  EXPECT_TRUE(r.ring.Place(std::string(15, 'w')));  // the largest piece that fits at all
  EXPECT_TRUE(r.ring.wrapped());

  r.ring.Detach();
  EXPECT_FALSE(r.ring.Place("a"));
  EXPECT_EQ(r.ring.position(), 0u);
}

TEST(LogRingTest, ManyWrapsKeepTheNewestPiecesInOrder) {
  SmallRing r;
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(r.ring.Place(std::to_string(i % 10) + "|"));
  // 16 bytes hold 8 two-byte pieces, but an exact fit wraps: 7 pieces and 2 spaces of filler
  // at most. The newest piece is always last.
  const std::string copy = r.Copy();
  EXPECT_EQ(copy.size(), 16u);
  EXPECT_EQ(copy.substr(copy.size() - 2), "9|");
}

}  // namespace
