#pragma once
// Fakes of the text box's measurer and painter and of the window's render surface. Each
// records what it was asked, so tests can check the walk of the runs and count the calls.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "src/window/render_cache.h"
#include "src/window/text_layout.h"

namespace corvane::testing {

// Widths by text; a text without an entry measures 0, as a failed measurement does.
using RunWidths = std::map<std::u16string, float>;

class FakeMeasurer final : public TextMeasurer {
 public:
  FakeMeasurer(float font_height, RunWidths widths)
      : font_height_(font_height), widths_(std::move(widths)) {}

  float FontHeight() override {
    ++font_height_calls;
    return font_height_;
  }
  float RunWidth(std::u16string_view text) override {
    measured.emplace_back(text);
    const auto it = widths_.find(std::u16string(text));
    return it == widths_.end() ? 0.0f : it->second;
  }

  int font_height_calls = 0;
  std::vector<std::u16string> measured;

 private:
  float font_height_;
  RunWidths widths_;
};

class FakePainter final : public TextPainter {
 public:
  struct Fill {
    int width, height;
    uint32_t argb;
  };
  struct Run {
    std::u16string text;
    float x, y;
    uint32_t argb;
  };

  explicit FakePainter(RunWidths widths) : widths_(std::move(widths)) {}

  void FillBackground(int width, int height, uint32_t argb) override {
    fills.push_back({width, height, argb});
  }
  float DrawRun(std::u16string_view text, float x, float y, uint32_t argb) override {
    runs.push_back({std::u16string(text), x, y, argb});
    const auto it = widths_.find(std::u16string(text));
    return it == widths_.end() ? 0.0f : it->second;
  }
  void FillGraph(std::span<const GraphPoint> outline, uint32_t argb) override {
    graphs.push_back({std::vector<GraphPoint>(outline.begin(), outline.end()), argb});
  }
  void FillRects(std::span<const GraphRect> rects, uint32_t argb) override {
    lines.push_back({std::vector<GraphRect>(rects.begin(), rects.end()), argb});
  }
  // A label measures 6 pixels a unit.
  float DrawGraphLabel(std::u16string_view text, float x, float y, int pixel_size,
                       uint32_t argb) override {
    labels.push_back({std::u16string(text), x, y, argb, pixel_size});
    return 6.0f * static_cast<float>(text.size());
  }

  struct Graph {
    std::vector<GraphPoint> outline;
    uint32_t argb;
  };
  struct Lines {
    std::vector<GraphRect> rects;
    uint32_t argb;
  };
  struct Label {
    std::u16string text;
    float x, y;
    uint32_t argb;
    int pixel_size;
  };
  std::vector<Fill> fills;
  std::vector<Run> runs;
  std::vector<Graph> graphs;
  std::vector<Lines> lines;
  std::vector<Label> labels;

 private:
  RunWidths widths_;
};

class FakeSurface final : public RenderSurface {
 public:
  struct Presented {
    int x, y, width, height;
  };

  std::optional<BitmapSize> Paint(std::span<const TextSegment> segments, const FrameGraph& graph,
                                  uint8_t alpha, int least_width) override {
    ++paints;
    painted_alpha = alpha;
    painted_least_width = least_width;
    painted_graph = graph.frame_ms;
    painted_texts.clear();
    for (const TextSegment& s : segments) painted_texts.push_back(s.text);
    if (fail_paint) return std::nullopt;
    return next_size;
  }
  void Present(int x, int y, BitmapSize size) override {
    presented.push_back({x, y, size.width, size.height});
  }
  int calls() const { return paints + static_cast<int>(presented.size()); }

  BitmapSize next_size{120, 32};
  bool fail_paint = false;
  int paints = 0;
  uint8_t painted_alpha = 0;
  int painted_least_width = 0;
  std::vector<std::u16string> painted_texts;
  std::vector<double> painted_graph;
  std::vector<Presented> presented;
};

}  // namespace corvane::testing
