#pragma once
// The ring of the memory log: pieces laid end to end in a fixed byte range. A piece that does
// not fit before the end (also one that would end exactly there) fills the rest with spaces
// and starts again at the beginning. Not synchronised: its owner holds a lock around it.
//
// Right after the newest piece lies one end mark: kEndMarkSize spaces, overwritten by the next
// piece. Where the ring is enciphered, pieces and filler are whole 8-byte blocks and a block of
// spaces is never a piece's, so a reader of the file left by a crash sees where the newest
// piece ends: at the first run of spaces in the ring (the filler at the ring's end only where
// the end mark lies in it). A reader that knows nothing of the mark takes it for filler.
#include <array>
#include <cstdint>
#include <string_view>

namespace base {

class LogRing {
 public:
  static constexpr uint32_t kEndMarkSize = 8;

  // One write into the ring: `size` bytes at `at`, from `bytes`, or spaces when it is null.
  struct Store {
    uint32_t at = 0;
    uint32_t size = 0;
    const char* bytes = nullptr;
  };
  // The writes that place a piece, in an order that leaves a readable ring after any of them:
  // until the last one, the old end mark (or a block of spaces at the ring's start, on a wrap)
  // still ends the ring's content before the new piece.
  struct Placement {
    std::array<Store, 5> stores;
    size_t count = 0;
    uint32_t position = 0;  // after the piece
    bool wraps = false;     // the piece goes to the ring's start
  };

  void Attach(uint8_t* bytes, uint32_t capacity);
  void Detach() { Attach(nullptr, 0); }

  // False, with nothing changed, for an empty piece, a piece of capacity bytes or more, or
  // while no bytes are attached.
  bool Place(std::string_view piece);

  // The writes Place makes for `piece` (count 0 where it would return false); `piece` must
  // outlive them.
  Placement Plan(std::string_view piece) const;
  void Apply(const Store& store);

  // The ring's content in writing order: the older part (from the position to the end, once
  // the ring has wrapped; empty before; it opens with the end mark) and the newer part (from
  // the start to the position).
  std::string_view Older() const;
  std::string_view Newer() const;

  uint32_t position() const { return position_; }
  bool wrapped() const { return wrapped_; }
  uint32_t capacity() const { return capacity_; }

 private:
  uint8_t* bytes_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t position_ = 0;
  bool wrapped_ = false;
};

}  // namespace base
