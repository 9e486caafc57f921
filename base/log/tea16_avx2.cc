// The 8-lane TEA-16, built for AVX2 (see base/CMakeLists.txt); chosen at run time by tea16.cc
// only where the processor has AVX2.
#include "base/log/tea16_lanes.h"

namespace base::log_crypt {

void Tea16EncipherBlocksAvx2(const TeaKey& key, uint8_t* data, size_t blocks) {
  TeaLanes<8>::Run<true>(key, data, blocks);
}

void Tea16DecipherBlocksAvx2(const TeaKey& key, uint8_t* data, size_t blocks) {
  TeaLanes<8>::Run<false>(key, data, blocks);
}

}  // namespace base::log_crypt
