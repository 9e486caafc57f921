#pragma once
// TEA with 16 cycles written straight from the algorithm, independent of the library's vector
// code, for tests that check the library or write the file format themselves: 8-byte blocks of
// two little-endian halves, key words taken little-endian from the first 16 bytes of the agreed
// secret.
#include <array>
#include <cstdint>

namespace corvane::testing {

using ReferenceTeaKey = std::array<uint32_t, 4>;

inline uint32_t LittleEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline ReferenceTeaKey ReferenceTeaKeyFromBytes(const uint8_t* secret) {
  ReferenceTeaKey key;
  for (int i = 0; i < 4; ++i) key[i] = LittleEndian32(secret + 4 * i);
  return key;
}

inline void ReferenceTea16Encipher(const ReferenceTeaKey& k, uint8_t* block) {
  uint32_t y = LittleEndian32(block);
  uint32_t z = LittleEndian32(block + 4);
  uint32_t sum = 0;
  for (int i = 0; i < 16; ++i) {
    sum += 0x9E3779B9;
    y += ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    z += ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
  }
  for (int b = 0; b < 4; ++b) {
    block[b] = static_cast<uint8_t>(y >> (8 * b));
    block[4 + b] = static_cast<uint8_t>(z >> (8 * b));
  }
}

}  // namespace corvane::testing
