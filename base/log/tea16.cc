#include "base/log/tea16.h"

namespace base::log_crypt {
namespace {

constexpr uint32_t kDelta = 0x9E3779B9;
constexpr int kCycles = 16;

// Eight blocks go through the rounds side by side as the lanes of one vector; the compiler
// maps it onto the machine's vector registers (two SSE2 registers on plain x86-64).
constexpr size_t kLanes = 8;
typedef uint32_t Lanes __attribute__((vector_size(kLanes * sizeof(uint32_t))));

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
template <typename Word>
void Encipher(const TeaKey& key, Word& y, Word& z) {
  uint32_t sum = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    sum += kDelta;
    y += ((z << 4) + key.k[0]) ^ (z + sum) ^ ((z >> 5) + key.k[1]);
    z += ((y << 4) + key.k[2]) ^ (y + sum) ^ ((y >> 5) + key.k[3]);
  }
}

template <typename Word>
void Decipher(const TeaKey& key, Word& y, Word& z) {
  uint32_t sum = kDelta * kCycles;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    z -= ((y << 4) + key.k[2]) ^ (y + sum) ^ ((y >> 5) + key.k[3]);
    y -= ((z << 4) + key.k[0]) ^ (z + sum) ^ ((z >> 5) + key.k[1]);
    sum -= kDelta;
  }
}

template <void (*Rounds)(const TeaKey&, Lanes&, Lanes&),
          void (*One)(const TeaKey&, uint32_t&, uint32_t&)>
void RunBlocks(const TeaKey& key, uint8_t* data, size_t blocks) {
  for (; blocks >= kLanes; blocks -= kLanes, data += kLanes * kTeaBlockSize) {
    Lanes y;
    Lanes z;
    for (size_t i = 0; i < kLanes; ++i) {
      y[i] = LoadLe32(data + i * kTeaBlockSize);
      z[i] = LoadLe32(data + i * kTeaBlockSize + 4);
    }
    Rounds(key, y, z);
    for (size_t i = 0; i < kLanes; ++i) {
      StoreLe32(y[i], data + i * kTeaBlockSize);
      StoreLe32(z[i], data + i * kTeaBlockSize + 4);
    }
  }
  for (; blocks > 0; --blocks, data += kTeaBlockSize) {
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
