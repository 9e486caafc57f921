#include "tools/inspect/inspect_report.h"

#include <cstdio>

#include "base/strings/utf.h"
#include "src/app/overlay_app.h"

namespace corvane::inspect {
namespace {

constexpr float kApproximateUnitWidthEm = 0.55f;
constexpr float kApproximateLineSpacingEm = 1.32f;

std::string Utf8(std::u16string_view text) {
  return base::WideToUtf8(base::Utf16ToWide(text));
}

template <typename T>
nlohmann::ordered_json OrNull(const std::optional<T>& value) {
  return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json SnapshotJson(const PerfSnapshot& s) {
  return {{"fps_game_id", s.fps_game_id},
          {"fps_cur", s.fps_cur},
          {"fps_min", s.fps_min},
          {"fps_max", s.fps_max},
          {"fps_valid", s.fps_valid},
          {"fps_low1", OrNull(s.fps_low1)},
          {"fps_low01", OrNull(s.fps_low01)},
          {"frame_ms_count", s.frame_ms.size()},
          {"fps_target_ms", OrNull(s.fps_target_ms)},
          {"cpu", s.cpu},
          {"gpu_name", s.gpu_name},
          {"gpu", s.gpu},
          {"gpu_mem_used", s.gpu_mem_used},
          {"gpu_mem_total", s.gpu_mem_total},
          {"gpu_valid", s.gpu_valid},
          {"mem_free", s.mem_free},
          {"mem_total", s.mem_total},
          {"disk_name", s.disk_name},
          {"disk_used", s.disk_used},
          {"disk_valid", s.disk_valid}};
}

std::string RgbText(uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof(text), "#%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
  return text;
}

nlohmann::ordered_json StyleJson(const UiStyle& s) {
  nlohmann::ordered_json style = {{"alpha", s.alpha},
                                  {"font_size", s.font_size},
                                  {"font_color", s.font_color},
                                  {"pos", s.pos},
                                  {"direction", s.direction}};
  // The colour thresholds taken, by row; no key when the style has none.
  constexpr const char* kRows[kColorRowCount] = {"fps", "gpu", "cpu", "ram", "io"};
  for (size_t row = 0; row < kColorRowCount; ++row) {
    const ColorThresholds& thresholds = s.colors[row];
    if (thresholds.empty()) continue;
    nlohmann::ordered_json colors = nlohmann::ordered_json::array();
    for (const uint32_t rgb : thresholds.colors) colors.push_back(RgbText(rgb));
    style["colors"][kRows[row]] = {{"values", thresholds.values}, {"colors", std::move(colors)}};
  }
  return style;
}

}  // namespace

float ApproximateTextMeasurer::FontHeight() {
  return kApproximateLineSpacingEm * static_cast<float>(pixel_size_);
}

float ApproximateTextMeasurer::RunWidth(std::u16string_view text) {
  return kApproximateUnitWidthEm * static_cast<float>(pixel_size_) *
         static_cast<float>(text.size());
}

TextBox EstimateApproximateTextBox(std::span<const TextSegment> segments, int pixel_size) {
  ApproximateTextMeasurer measurer(pixel_size);
  return EstimateTextBox(segments, measurer, pixel_size);
}

InspectedFrame InspectFrame(const PerfSnapshot& snapshot, const UiStyle& style,
                            const FrameSetting& setting, const BoxEstimator& estimate,
                            std::string_view measured_by) {
  InspectedFrame frame;
  ComposeFrame(snapshot, style, frame.composed);
  frame.font_px = EffectiveFontSize(style.font_size);
  frame.pixel_size = EstimatePixelSize(frame.font_px, setting.dpi);
  // The window of a new overlay has the initial font, and its first frame sets the style's
  // only when the style's size differs from the 0 it remembers as last applied: a style size
  // of 0 keeps the initial font, while the estimate measures at the effective size.
  frame.window_font_px = style.font_size != 0 ? frame.font_px : kInitialFontSize;
  if (setting.box) {
    frame.box.width = setting.box->width;
    frame.box.height = setting.box->height;
    frame.measured_by = kGivenBoxName;
  } else {
    frame.box = WithFrameGraph(estimate(frame.composed.segments, frame.pixel_size), frame.composed,
                               frame.pixel_size);
    frame.measured_by = measured_by;
  }
  frame.position = PlaceBox(style.pos, setting.client, frame.box.width, frame.box.height);
  return frame;
}

nlohmann::ordered_json BuildReport(const ReadOutcome& outcome, const FrameSetting& setting,
                                   const InspectedFrame& frame) {
  nlohmann::ordered_json rows = nlohmann::ordered_json::array();
  for (const RowText& row : frame.composed.rows) {
    rows.push_back({{"label", Utf8(row.label)}, {"value", Utf8(row.value)}});
  }
  nlohmann::ordered_json segments = nlohmann::ordered_json::array();
  for (const TextSegment& segment : frame.composed.segments) {
    segments.push_back({{"text", Utf8(segment.text)}, {"color", segment.color}});
  }
  const ScreenRect& client = setting.client;
  nlohmann::ordered_json report = {
      {"read", outcome.read},
      {"enabled", OrNull(outcome.enabled)},
      {"ipc_wnd", OrNull(outcome.ipc_wnd)},
      {"game_id", setting.game_id},
      {"drive", setting.drive},
      {"client",
       {{"x", client.x}, {"y", client.y}, {"width", client.width}, {"height", client.height}}},
      {"snapshot", SnapshotJson(outcome.snapshot)},
      {"style", StyleJson(outcome.style)},
      {"rows", std::move(rows)},
      {"segments", std::move(segments)},
      {"hash", frame.composed.hash},
      {"dpi", setting.dpi},
      {"dpi_from", setting.dpi_from},
      {"font_px", frame.font_px},
      {"pixel_size", frame.pixel_size},
      {"window_font_px", frame.window_font_px},
      {"box",
       {{"width", frame.box.width},
        {"height", frame.box.height},
        {"measured_by", frame.measured_by}}},
      {"position", {{"x", frame.position.x}, {"y", frame.position.y}}}};
  if (frame.composed.graph.shown()) {
    // What the graph draws, newest last, its scale, and where it lies in the box (the box
    // given with --box has no room set aside for it).
    // The label tells the scale; a target, when the host gives one, is marked by a line.
    const GraphArea& area = frame.box.graph;
    const FrameGraph& graph = frame.composed.graph;
    report["graph"] = {
        {"samples", graph.frame_ms}, {"scale_ms", graph.scale_ms}, {"label", Utf8(graph.label)}};
    if (graph.target_ms) report["graph"]["target_ms"] = *graph.target_ms;
    report["graph"]["color"] = graph.color;
    report["graph"]["area"] = {
        {"x", area.x}, {"y", area.y}, {"width", area.width}, {"height", area.height}};
  }
  return report;
}

std::string FormatReport(const nlohmann::ordered_json& report) {
  return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace corvane::inspect
