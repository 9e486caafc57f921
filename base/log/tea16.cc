#include "base/log/tea16.h"

#include <cstring>

namespace base::log_crypt {
namespace {

constexpr uint32_t kDelta = 0x9E3779B9;
constexpr int kCycles = 16;

// Eight blocks go through the rounds side by side: two vectors of four lanes each, which are
// the machine's own (SSE2 on every x86-64), so both chains of dependent operations overlap.
constexpr size_t kLanes = 8;
typedef uint32_t Quad __attribute__((vector_size(4 * sizeof(uint32_t))));

struct Lanes {
  Quad lo;
  Quad hi;
};
Lanes operator+(const Lanes& a, const Lanes& b) {
  return {a.lo + b.lo, a.hi + b.hi};
}
Lanes operator+(const Lanes& a, uint32_t b) {
  return {a.lo + b, a.hi + b};
}
Lanes operator-(const Lanes& a, uint32_t b) {
  return {a.lo - b, a.hi - b};
}
Lanes operator^(const Lanes& a, const Lanes& b) {
  return {a.lo ^ b.lo, a.hi ^ b.hi};
}
Lanes operator<<(const Lanes& a, int n) {
  return {a.lo << n, a.hi << n};
}
Lanes operator>>(const Lanes& a, int n) {
  return {a.lo >> n, a.hi >> n};
}
Lanes& operator+=(Lanes& a, const Lanes& b) {
  return a = a + b;
}
Lanes& operator+=(Lanes& a, uint32_t b) {
  return a = a + b;
}
Lanes& operator-=(Lanes& a, const Lanes& b) {
  return a = {a.lo - b.lo, a.hi - b.hi};
}
Lanes& operator-=(Lanes& a, uint32_t b) {
  return a = a - b;
}

uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void StoreLe32(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// The rounds, for one block (Word = uint32_t) or for a vector of blocks (Word = Lanes).
// The sum is kept as a Word too: a vector sum stays in a register instead of being broadcast
// through memory in every cycle.
template <typename Word>
void Encipher(const TeaKey& key, Word& y, Word& z) {
  Word sum = y ^ y;  // zero
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    sum += kDelta;
    y += ((z << 4) + key.k[0]) ^ (z + sum) ^ ((z >> 5) + key.k[1]);
    z += ((y << 4) + key.k[2]) ^ (y + sum) ^ ((y >> 5) + key.k[3]);
  }
}

template <typename Word>
void Decipher(const TeaKey& key, Word& y, Word& z) {
  Word sum = (y ^ y) + kDelta * kCycles;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    z -= ((y << 4) + key.k[2]) ^ (y + sum) ^ ((y >> 5) + key.k[3]);
    y -= ((z << 4) + key.k[0]) ^ (z + sum) ^ ((z >> 5) + key.k[1]);
    sum -= kDelta;
  }
}

// Four blocks' halves from 32 bytes: y from the even words, z from the odd ones. The host is
// little-endian, as every target of this program is.
void LoadQuads(const uint8_t* data, Quad* y, Quad* z) {
  Quad first;
  Quad second;
  std::memcpy(&first, data, sizeof first);
  std::memcpy(&second, data + sizeof first, sizeof second);
  *y = __builtin_shufflevector(first, second, 0, 2, 4, 6);
  *z = __builtin_shufflevector(first, second, 1, 3, 5, 7);
}

void StoreQuads(const Quad& y, const Quad& z, uint8_t* data) {
  const Quad first = __builtin_shufflevector(y, z, 0, 4, 1, 5);
  const Quad second = __builtin_shufflevector(y, z, 2, 6, 3, 7);
  std::memcpy(data, &first, sizeof first);
  std::memcpy(data + sizeof first, &second, sizeof second);
}

// kLanes blocks at `data` through the vector rounds.
template <void (*Rounds)(const TeaKey&, Lanes&, Lanes&)>
void RunLanes(const TeaKey& key, uint8_t* data) {
  Lanes y;
  Lanes z;
  LoadQuads(data, &y.lo, &z.lo);
  LoadQuads(data + 4 * kTeaBlockSize, &y.hi, &z.hi);
  Rounds(key, y, z);
  StoreQuads(y.lo, z.lo, data);
  StoreQuads(y.hi, z.hi, data + 4 * kTeaBlockSize);
}

template <void (*Rounds)(const TeaKey&, Lanes&, Lanes&),
          void (*One)(const TeaKey&, uint32_t&, uint32_t&)>
void RunBlocks(const TeaKey& key, uint8_t* data, size_t blocks) {
  for (; blocks >= kLanes; blocks -= kLanes, data += kLanes * kTeaBlockSize) {
    RunLanes<Rounds>(key, data);
  }
  if (blocks > 1) {
    // A few blocks cost one vector pass, less than as many single blocks one after another.
    uint8_t lanes[kLanes * kTeaBlockSize] = {};
    std::memcpy(lanes, data, blocks * kTeaBlockSize);
    RunLanes<Rounds>(key, lanes);
    std::memcpy(data, lanes, blocks * kTeaBlockSize);
  } else if (blocks == 1) {
    uint32_t y = LoadLe32(data);
    uint32_t z = LoadLe32(data + 4);
    One(key, y, z);
    StoreLe32(y, data);
    StoreLe32(z, data + 4);
  }
}

}  // namespace

TeaKey TeaKeyFromBytes(const uint8_t* secret) {
  TeaKey key;
  for (int i = 0; i < 4; ++i) key.k[i] = LoadLe32(secret + 4 * i);
  return key;
}

void Tea16EncipherBlocks(const TeaKey& key, uint8_t* data, size_t blocks) {
  RunBlocks<Encipher<Lanes>, Encipher<uint32_t>>(key, data, blocks);
}

void Tea16DecipherBlocks(const TeaKey& key, uint8_t* data, size_t blocks) {
  RunBlocks<Decipher<Lanes>, Decipher<uint32_t>>(key, data, blocks);
}

}  // namespace base::log_crypt
