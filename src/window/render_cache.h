#pragma once
// When the overlay repaints. A paint measures and draws every run and hands a new bitmap to
// the window; it happens only when something that shows has changed (the window was marked
// dirty, or the background opacity differs). Otherwise a call at most moves the bitmap that is
// already there, and a call at the same place does nothing at all: this runs on every frame.
#include <cstdint>
#include <optional>
#include <span>

#include "src/window/text_layout.h"

namespace corvane {

struct BitmapSize {
  int width = 0;
  int height = 0;
};

// The window's side of a render.
class RenderSurface {
 public:
  virtual ~RenderSurface() = default;
  // Paints the runs, and under them the graph when it is shown, on a box at the given opacity
  // and at least `least_width` wide into a new bitmap and makes it the current one; its size,
  // or nothing when no bitmap could be made (then nothing has changed).
  virtual std::optional<BitmapSize> Paint(std::span<const TextSegment> segments,
                                          const FrameGraph& graph, uint8_t alpha,
                                          int least_width) = 0;
  // Shows the current bitmap, of the given size, with its top-left corner at (x, y).
  virtual void Present(int x, int y, BitmapSize size) = 0;
};

class RenderCache {
 public:
  // The graph, like the runs, shows only at a paint: it changes only when the figures are read
  // again, which marks the window dirty. The box is at least `least_width` wide (0: as wide as
  // its runs and graph need); a new least width, like a new opacity, repaints.
  void Render(std::span<const TextSegment> segments, const FrameGraph& graph, int x, int y,
              uint8_t alpha, RenderSurface& surface, int least_width = 0);

  // The next Render paints anew.
  void MarkDirty() { dirty_ = true; }
  // The current bitmap was released: the next Render must paint one.
  void ForgetBitmap() {
    bitmap_.reset();
    dirty_ = true;
  }

  bool dirty() const { return dirty_; }
  std::optional<BitmapSize> bitmap() const { return bitmap_; }
  int last_x() const { return last_x_; }
  int last_y() const { return last_y_; }
  uint8_t last_alpha() const { return last_alpha_; }

 private:
  std::optional<BitmapSize> bitmap_;
  int last_x_ = -1;
  int last_y_ = -1;
  uint8_t last_alpha_ = 0;
  int last_least_width_ = 0;
  bool dirty_ = true;
};

}  // namespace corvane
