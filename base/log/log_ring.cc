#include "base/log/log_ring.h"

#include <cstring>

namespace base {

void LogRing::Attach(uint8_t* bytes, uint32_t capacity) {
  bytes_ = bytes;
  capacity_ = bytes != nullptr ? capacity : 0;
  position_ = 0;
  wrapped_ = false;
}

bool LogRing::Place(std::string_view piece) {
  if (bytes_ == nullptr || piece.empty() || piece.size() >= capacity_) return false;
  const auto size = static_cast<uint32_t>(piece.size());
  if (size < capacity_ - position_) {
    std::memcpy(bytes_ + position_, piece.data(), size);
    position_ += size;
    return true;
  }
  std::memset(bytes_ + position_, ' ', capacity_ - position_);
  std::memcpy(bytes_, piece.data(), size);
  wrapped_ = true;
  position_ = size;
  return true;
}

std::string_view LogRing::Older() const {
  if (!wrapped_) return {};
  return {reinterpret_cast<const char*>(bytes_) + position_, capacity_ - position_};
}

std::string_view LogRing::Newer() const {
  return {reinterpret_cast<const char*>(bytes_), position_};
}

}  // namespace base
