#include "base/log/tea16.h"

#include "base/log/tea16_lanes.h"

namespace base::log_crypt {
namespace {

bool ProcessorHasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  // Also checks that the system saves the wide registers.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

struct TeaFunctions {
  void (*encipher)(const TeaKey&, uint8_t*, size_t);
  void (*decipher)(const TeaKey&, uint8_t*, size_t);
};

void EncipherSse2(const TeaKey& key, uint8_t* data, size_t blocks) {
  TeaLanes<4>::Run<true>(key, data, blocks);
}
void DecipherSse2(const TeaKey& key, uint8_t* data, size_t blocks) {
  TeaLanes<4>::Run<false>(key, data, blocks);
}

TeaFunctions FunctionsFor(TeaWidth width) {
  if (width == TeaWidth::kAvx2 && TeaWidthAvailable(TeaWidth::kAvx2)) {
    return {Tea16EncipherBlocksAvx2, Tea16DecipherBlocksAvx2};
  }
  return {EncipherSse2, DecipherSse2};
}

const TeaFunctions& Widest() {
  static const TeaFunctions functions = FunctionsFor(TeaWidth::kAvx2);
  return functions;
}

}  // namespace

bool TeaWidthAvailable(TeaWidth width) {
  static const bool avx2 = ProcessorHasAvx2();
  return width == TeaWidth::kSse2 || avx2;
}

TeaWidth WidestTeaWidth() {
  return TeaWidthAvailable(TeaWidth::kAvx2) ? TeaWidth::kAvx2 : TeaWidth::kSse2;
}

TeaKey TeaKeyFromBytes(const uint8_t* secret) {
  TeaKey key;
  for (int i = 0; i < 4; ++i) key.k[i] = LoadLe32(secret + 4 * i);
  return key;
}

void Tea16EncipherBlocks(const TeaKey& key, uint8_t* data, size_t blocks) {
  Widest().encipher(key, data, blocks);
}

void Tea16DecipherBlocks(const TeaKey& key, uint8_t* data, size_t blocks) {
  Widest().decipher(key, data, blocks);
}

void Tea16EncipherBlocksAs(TeaWidth width, const TeaKey& key, uint8_t* data, size_t blocks) {
  FunctionsFor(width).encipher(key, data, blocks);
}

void Tea16DecipherBlocksAs(TeaWidth width, const TeaKey& key, uint8_t* data, size_t blocks) {
  FunctionsFor(width).decipher(key, data, blocks);
}

}  // namespace base::log_crypt
