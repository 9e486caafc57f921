#include "base/log/log_ring.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace base {

void LogRing::Attach(uint8_t* bytes, uint32_t capacity) {
  bytes_ = bytes;
  capacity_ = bytes != nullptr ? capacity : 0;
  position_ = 0;
  wrapped_ = false;
}

LogRing::Placement LogRing::Plan(std::string_view piece) const {
  Placement plan;
  if (bytes_ == nullptr || piece.empty() || piece.size() >= capacity_) return plan;
  const auto size = static_cast<uint32_t>(piece.size());
  const bool wraps = size >= capacity_ - position_;
  const uint32_t at = wraps ? 0 : position_;
  const uint32_t head = std::min(size, kEndMarkSize);
  auto add = [&](uint32_t where, uint32_t count, const char* bytes) {
    if (count != 0) plan.stores[plan.count++] = {where, count, bytes};
  };
  if (wraps) {
    add(position_, capacity_ - position_, nullptr);  // filler to the ring's end
    add(0, head, nullptr);  // now the first spaces: the old content ends before the filler
  }
  add(at + head, size - head, piece.data() + head);
  // Whole when pieces are whole blocks, as the enciphered ones are; cut at the ring's end
  // otherwise.
  add(at + size, std::min(kEndMarkSize, capacity_ - at - size), nullptr);
  add(at, head, piece.data());  // covers the old end mark: the new piece is the newest
  plan.position = at + size;
  plan.wraps = wraps;
  return plan;
}

void LogRing::Apply(const Store& store) {
  if (store.bytes == nullptr) {
    std::memset(bytes_ + store.at, ' ', store.size);
  } else {
    std::memcpy(bytes_ + store.at, store.bytes, store.size);
  }
}

bool LogRing::Place(std::string_view piece) {
  const Placement plan = Plan(piece);
  if (plan.count == 0) return false;
  for (size_t i = 0; i < plan.count; ++i) {
    // In this order also for a process that reads the mapped file, or one that ends between two.
    std::atomic_thread_fence(std::memory_order_release);
    Apply(plan.stores[i]);
  }
  wrapped_ = wrapped_ || plan.wraps;
  position_ = plan.position;
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
