#pragma once
// What corvane-inspect computes and prints: the frame a newly started overlay would compose
// from the records one read leaves, through the overlay's own composition code, and the JSON
// object that shows it. Portable; measuring the box goes through a function the platform
// gives.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "src/app/frame_composition.h"
#include "src/data/perf_snapshot.h"
#include "src/window/text_layout.h"
#include "tools/inspect/inspect_options.h"

namespace corvane::inspect {

// A measurer for systems without GDI+: each UTF-16 unit is 0.55 times the pixel size wide and
// lines are 1.32 times the pixel size apart. That is near the overlay's font for digits and
// Latin letters (CJK characters are about twice as wide); the box it gives is an estimate of
// the estimate, good for checking placement rules, not for pixel-exact positions.
class ApproximateTextMeasurer final : public TextMeasurer {
 public:
  explicit ApproximateTextMeasurer(int pixel_size) : pixel_size_(pixel_size) {}
  float FontHeight() override;
  float RunWidth(std::u16string_view text) override;

 private:
  int pixel_size_;
};

// The `measured_by` texts.
inline constexpr char kApproximateMeasurerName[] = "approximation: 0.55 em per unit, 1.32 em lines";
inline constexpr char kGdiplusMeasurerName[] = "GDI+";
inline constexpr char kGivenBoxName[] = "--box";

// The `dpi_from` texts: where the DPI the font is sized for came from.
inline constexpr char kDpiFromOption[] = "--dpi";
inline constexpr char kDpiFromMonitor[] = "the game window's monitor";
inline constexpr char kDpiFromScreen[] = "the screen";
inline constexpr char kDpiFromReference[] = "the reference 96";

// The box size for the runs at a physical pixel size, as the platform measures it.
using BoxEstimator = std::function<TextBox(std::span<const TextSegment> segments, int pixel_size)>;

// The box of the approximate measurer, for systems without GDI+.
TextBox EstimateApproximateTextBox(std::span<const TextSegment> segments, int pixel_size);

// What one read left: the parse's result, the records, and the header's values when the
// document came from the block.
struct ReadOutcome {
  bool read = false;
  std::optional<bool> enabled;
  std::optional<uint64_t> ipc_wnd;
  PerfSnapshot snapshot;
  UiStyle style;
};

// Where and for whom the frame is composed.
struct FrameSetting {
  uint64_t game_id = 0;
  std::string drive = kDefaultDrive;
  ScreenRect client = kDefaultClient;
  int dpi = kReferenceDpi;
  const char* dpi_from = kDpiFromReference;
  std::optional<BoxSize> box;  // placed as given instead of being estimated
};

struct InspectedFrame {
  ComposedFrame composed;
  int font_px = 0;         // the effective font size, in 96 DPI pixels
  int pixel_size = 0;      // the physical pixel size the estimate measures with
  int window_font_px = 0;  // the size, in 96 DPI pixels, of the font the window paints with
  TextBox box;
  std::string measured_by;
  ScreenPoint position;
};

// Composes the frame from the records, sizes the box (with `estimate` unless the setting gives
// a box) and places it in the client area, as the overlay's first frame does.
InspectedFrame InspectFrame(const PerfSnapshot& snapshot, const UiStyle& style,
                            const FrameSetting& setting, const BoxEstimator& estimate,
                            std::string_view measured_by);

// The JSON object corvane-inspect prints.
nlohmann::ordered_json BuildReport(const ReadOutcome& outcome, const FrameSetting& setting,
                                   const InspectedFrame& frame);

// The object as indented text; text that is not UTF-8 shows as U+FFFD instead of failing.
std::string FormatReport(const nlohmann::ordered_json& report);

}  // namespace corvane::inspect
