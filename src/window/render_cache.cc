#include "src/window/render_cache.h"

namespace corvane {

void RenderCache::Render(std::span<const TextSegment> segments, const FrameGraph& graph, int x,
                         int y, uint8_t alpha, RenderSurface& surface, int least_width) {
  if (segments.empty()) return;
  if (!dirty_ && alpha == last_alpha_ && least_width == last_least_width_) {
    // Nothing that shows has changed: at most the window moves. New texts wait for the next
    // paint that a dirty mark or a new opacity brings. After a failed paint there is nothing
    // to move, and the paint is not tried again before such a change: a bitmap too large to
    // make would otherwise be asked for on every frame.
    if (!bitmap_ || (x == last_x_ && y == last_y_)) return;
    surface.Present(x, y, *bitmap_);
    last_x_ = x;
    last_y_ = y;
    return;
  }
  last_alpha_ = alpha;
  last_least_width_ = least_width;
  dirty_ = false;
  const std::optional<BitmapSize> painted = surface.Paint(segments, graph, alpha, least_width);
  if (!painted) return;  // the old bitmap, if any, stays where it is
  bitmap_ = painted;
  surface.Present(x, y, *bitmap_);
  last_x_ = x;
  last_y_ = y;
}

}  // namespace corvane
