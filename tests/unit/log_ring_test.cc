// The memory log's ring: placement, the end mark, the wrap with its filler, and the order of
// a copy.
#include <gtest/gtest.h>

#include <cstdio>
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
  EXPECT_EQ(r.bytes, "abcd        ....");  // the end mark right after the newest piece
  EXPECT_TRUE(r.ring.Place("efg"));
  EXPECT_EQ(r.ring.position(), 7u);
  EXPECT_FALSE(r.ring.wrapped());
  EXPECT_EQ(r.Copy(), "abcdefg");
  EXPECT_EQ(r.bytes, "abcdefg        .");  // bytes of an earlier run stay beyond the mark
}

TEST(LogRingTest, PieceEqualToTheSpaceLeftGoesToTheStart) {
  SmallRing r;
  ASSERT_TRUE(r.ring.Place("0123456789"));
  EXPECT_EQ(r.bytes, "0123456789      ");  // the end mark, cut at the ring's end
  ASSERT_TRUE(r.ring.Place("ABCDEF"));     // exactly the 6 bytes left: not placed there
  EXPECT_TRUE(r.ring.wrapped());
  EXPECT_EQ(r.ring.position(), 6u);
  EXPECT_EQ(r.bytes,
            "ABCDEF"
            "        "
            "  ");  // piece, end mark, filler
  // Oldest first: the end mark and the filler belong to the older part.
  EXPECT_EQ(r.Copy(), "          ABCDEF");
  ASSERT_TRUE(r.ring.Place("G"));
  EXPECT_EQ(r.bytes,
            "ABCDEFG"
            "        "
            " ");
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
  std::string bytes(64, '.');
  base::LogRing ring;
  ring.Attach(reinterpret_cast<uint8_t*>(bytes.data()), 64);
  char piece[16];
  for (int i = 0; i < 100; ++i) {
    std::snprintf(piece, sizeof piece, "%02d|", i);
    ASSERT_TRUE(ring.Place(piece));
  }
  // Oldest first: the end mark, the torn rest of an overwritten piece, whole pieces up to the
  // filler of the last wrap, and the newer pieces, one number after the other up to the last.
  const std::string copy = std::string(ring.Older()) + std::string(ring.Newer());
  ASSERT_EQ(copy.size(), 64u);
  EXPECT_EQ(copy.substr(0, 8), "        ");
  std::string pieces = copy.substr(copy.find('|') + 1);
  std::erase(pieces, ' ');
  std::string expected;
  for (int i = 99; expected.size() < pieces.size(); --i) {
    std::snprintf(piece, sizeof piece, "%02d|", i);
    expected.insert(0, piece);
  }
  EXPECT_EQ(pieces, expected);
  EXPECT_GE(pieces.size(), 16 * 3u);  // filler and end mark take at most 16 of the 64 bytes
}

}  // namespace
