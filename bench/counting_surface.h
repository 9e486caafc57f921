#pragma once
// A render surface for benchmarks: paints and presents nothing, only counts, so that what is
// timed is the repaint rules' own cost.
#include "src/window/render_cache.h"

namespace corvane {

class CountingSurface final : public RenderSurface {
 public:
  std::optional<BitmapSize> Paint(std::span<const TextSegment>, const FrameGraph&, uint8_t,
                                  int) override {
    ++paints;
    return BitmapSize{640, 30};
  }
  void Present(int, int, BitmapSize) override { ++presents; }
  long paints = 0;
  long presents = 0;
};

}  // namespace corvane
