#include "src/window/render_cache.h"

namespace corvane {

void RenderCache::Render(std::span<const TextSegment> segments, int x, int y, uint8_t alpha,
                         RenderSurface& surface) {
  if (segments.empty()) return;
  if (!dirty_ && alpha == last_alpha_ && bitmap_) {
    // Nothing that shows has changed: at most the window moves. New texts wait for the next
    // paint that a dirty mark or a new opacity brings.
    if (x == last_x_ && y == last_y_) return;
    surface.Present(x, y, *bitmap_);
    last_x_ = x;
    last_y_ = y;
    return;
  }
  const std::optional<BitmapSize> painted = surface.Paint(segments, alpha);
  if (!painted) return;  // still dirty: the next call tries again
  bitmap_ = painted;
  surface.Present(x, y, *bitmap_);
  last_alpha_ = alpha;
  last_x_ = x;
  last_y_ = y;
  dirty_ = false;
}

}  // namespace corvane
