#pragma once
// The ring of the memory log: pieces laid end to end in a fixed byte range. A piece that does
// not fit before the end (also one that would end exactly there) fills the rest with spaces
// and starts again at the beginning. Not synchronised: its owner holds a lock around it.
#include <cstdint>
#include <string_view>

namespace base {

class LogRing {
 public:
  void Attach(uint8_t* bytes, uint32_t capacity);
  void Detach() { Attach(nullptr, 0); }

  // False, with nothing changed, for an empty piece, a piece of capacity bytes or more, or
  // while no bytes are attached.
  bool Place(std::string_view piece);

  // The ring's content in writing order: the older part (from the position to the end, once
  // the ring has wrapped; empty before) and the newer part (from the start to the position).
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
