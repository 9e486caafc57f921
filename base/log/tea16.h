#pragma once
// TEA cut down to 16 cycles, on independent 8-byte blocks (no chaining, no initial value).
// A block's bytes 0..3 and 4..7 are two little-endian 32-bit halves; the key is the first 16
// bytes of the agreed secret as four little-endian words.
#include <cstddef>
#include <cstdint>

namespace base::log_crypt {

inline constexpr size_t kTeaBlockSize = 8;

struct TeaKey {
  uint32_t k[4] = {};
};

// The key words from the first 16 bytes of `secret`.
TeaKey TeaKeyFromBytes(const uint8_t* secret);

// Enciphers (or deciphers) `blocks` consecutive 8-byte blocks at `data` in place. Blocks are
// independent, so several are worked on at once, in the widest vectors the processor has
// (checked once, at the first call). Every width gives the same bytes.
void Tea16EncipherBlocks(const TeaKey& key, uint8_t* data, size_t blocks);
void Tea16DecipherBlocks(const TeaKey& key, uint8_t* data, size_t blocks);

// The vector widths: 8 blocks per pass in SSE2 registers (every x86-64 has them), 16 in AVX2.
enum class TeaWidth { kSse2, kAvx2 };
bool TeaWidthAvailable(TeaWidth width);
TeaWidth WidestTeaWidth();
// The same on the given width; one the processor lacks falls back to SSE2. For tests and the
// benchmark, which compare the widths.
void Tea16EncipherBlocksAs(TeaWidth width, const TeaKey& key, uint8_t* data, size_t blocks);
void Tea16DecipherBlocksAs(TeaWidth width, const TeaKey& key, uint8_t* data, size_t blocks);

}  // namespace base::log_crypt
