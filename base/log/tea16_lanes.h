#pragma once
// The TEA-16 rounds over vectors of blocks, for the translation units that build one vector
// width each (tea16.cc: 4 lanes, the SSE2 every x86-64 has; tea16_avx2.cc: 8 lanes, built for
// AVX2). Everything here has internal linkage, so each unit keeps the code its own instruction
// set produced and the linker never swaps one width's copy for the other's.
#include <cstddef>
#include <cstdint>
#include <utility>

#include "base/log/tea16.h"

namespace base::log_crypt {
namespace {

constexpr uint32_t kTeaDelta = 0x9E3779B9;
constexpr int kTeaCycles = 16;

inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void StoreLe32(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// The rounds, for one block (Word = uint32_t) or for a vector of blocks. The sum is kept as a
// Word too: a vector sum stays in a register instead of being broadcast in every cycle.
template <typename Word>
inline void TeaEncipher(const TeaKey& key, Word& y, Word& z) {
  Word sum = y ^ y;  // zero
  for (int cycle = 0; cycle < kTeaCycles; ++cycle) {
    sum += kTeaDelta;
    y += ((z << 4) + key.k[0]) ^ (z + sum) ^ ((z >> 5) + key.k[1]);
    z += ((y << 4) + key.k[2]) ^ (y + sum) ^ ((y >> 5) + key.k[3]);
  }
}

template <typename Word>
inline void TeaDecipher(const TeaKey& key, Word& y, Word& z) {
  Word sum = (y ^ y) + kTeaDelta * kTeaCycles;
  for (int cycle = 0; cycle < kTeaCycles; ++cycle) {
    z -= ((y << 4) + key.k[2]) ^ (y + sum) ^ ((y >> 5) + key.k[3]);
    y -= ((z << 4) + key.k[0]) ^ (z + sum) ^ ((z >> 5) + key.k[1]);
    sum -= kTeaDelta;
  }
}

template <bool kEncipher, typename Word>
inline void TeaRounds(const TeaKey& key, Word& y, Word& z) {
  if constexpr (kEncipher) {
    TeaEncipher(key, y, z);
  } else {
    TeaDecipher(key, y, z);
  }
}

// Blocks kLanes at a time in a vector of kLanes 32-bit words, two vectors per pass so that
// both chains of dependent operations overlap. The host is little-endian, as every target of
// this program is, so a block's halves are its two words as loaded.
template <size_t kLanes>
struct TeaLanes {
  typedef uint32_t Vec __attribute__((vector_size(kLanes * sizeof(uint32_t))));
  static constexpr size_t kBlocksPerPass = 2 * kLanes;

  template <size_t... I>
  static Vec Evens(Vec a, Vec b, std::index_sequence<I...>) {
    return __builtin_shufflevector(a, b, (2 * I)...);
  }
  template <size_t... I>
  static Vec Odds(Vec a, Vec b, std::index_sequence<I...>) {
    return __builtin_shufflevector(a, b, (2 * I + 1)...);
  }
  // y0 z0 y1 z1 ... from the first (kHalf = 0) or second (kHalf = kLanes / 2) half of y and z.
  template <size_t kHalf, size_t... I>
  static Vec Interleave(Vec y, Vec z, std::index_sequence<I...>) {
    return __builtin_shufflevector(y, z, ((I % 2 != 0 ? kLanes : 0) + kHalf + I / 2)...);
  }

  // kLanes blocks' halves from 8 * kLanes bytes.
  static void Load(const uint8_t* data, Vec* y, Vec* z) {
    Vec first;
    Vec second;
    __builtin_memcpy(&first, data, sizeof first);
    __builtin_memcpy(&second, data + sizeof first, sizeof second);
    *y = Evens(first, second, std::make_index_sequence<kLanes>());
    *z = Odds(first, second, std::make_index_sequence<kLanes>());
  }

  static void Store(const Vec& y, const Vec& z, uint8_t* data) {
    const Vec first = Interleave<0>(y, z, std::make_index_sequence<kLanes>());
    const Vec second = Interleave<kLanes / 2>(y, z, std::make_index_sequence<kLanes>());
    __builtin_memcpy(data, &first, sizeof first);
    __builtin_memcpy(data + sizeof first, &second, sizeof second);
  }

  // Two vectors side by side: each operation is done on both.
  struct Pair {
    Vec lo;
    Vec hi;
    Pair operator+(const Pair& b) const { return {lo + b.lo, hi + b.hi}; }
    Pair operator+(uint32_t b) const { return {lo + b, hi + b}; }
    Pair operator^(const Pair& b) const { return {lo ^ b.lo, hi ^ b.hi}; }
    Pair operator<<(int n) const { return {lo << n, hi << n}; }
    Pair operator>>(int n) const { return {lo >> n, hi >> n}; }
    Pair& operator+=(const Pair& b) { return *this = *this + b; }
    Pair& operator+=(uint32_t b) { return *this = *this + b; }
    Pair& operator-=(const Pair& b) { return *this = {lo - b.lo, hi - b.hi}; }
    Pair& operator-=(uint32_t b) { return *this = {lo - b, hi - b}; }
  };

  // 2 * kLanes blocks: kLanes from `lo` and kLanes from `hi`. The two may overlap: each block
  // is worked on from its input, so a block in both comes out the same from either.
  template <bool kEncipher>
  static void Pass(const TeaKey& key, uint8_t* lo, uint8_t* hi) {
    Pair y;
    Pair z;
    Load(lo, &y.lo, &z.lo);
    Load(hi, &y.hi, &z.hi);
    TeaRounds<kEncipher>(key, y, z);
    Store(y.hi, z.hi, hi);
    Store(y.lo, z.lo, lo);
  }

  template <bool kEncipher>
  static void Run(const TeaKey& key, uint8_t* data, size_t blocks) {
    constexpr size_t kVectorBytes = kLanes * kTeaBlockSize;
    for (; blocks >= kBlocksPerPass; blocks -= kBlocksPerPass) {
      Pass<kEncipher>(key, data, data + kVectorBytes);
      data += kBlocksPerPass * kTeaBlockSize;
    }
    if (blocks >= kLanes) {
      // The first kLanes blocks and the last kLanes, overlapping: no copy.
      Pass<kEncipher>(key, data, data + (blocks - kLanes) * kTeaBlockSize);
    } else if (blocks > 1) {
      // A few blocks cost one vector pass, less than as many single blocks one after another.
      uint8_t lanes[kVectorBytes] = {};
      __builtin_memcpy(lanes, data, blocks * kTeaBlockSize);
      Vec y;
      Vec z;
      Load(lanes, &y, &z);
      TeaRounds<kEncipher>(key, y, z);
      Store(y, z, lanes);
      __builtin_memcpy(data, lanes, blocks * kTeaBlockSize);
    } else if (blocks == 1) {
      uint32_t y = LoadLe32(data);
      uint32_t z = LoadLe32(data + 4);
      TeaRounds<kEncipher>(key, y, z);
      StoreLe32(y, data);
      StoreLe32(z, data + 4);
    }
  }
};

}  // namespace

// The 8-lane width, from tea16_avx2.cc; to be called only where the processor has AVX2.
void Tea16EncipherBlocksAvx2(const TeaKey& key, uint8_t* data, size_t blocks);
void Tea16DecipherBlocksAvx2(const TeaKey& key, uint8_t* data, size_t blocks);

}  // namespace base::log_crypt
