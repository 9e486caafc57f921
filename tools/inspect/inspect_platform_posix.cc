#include "tools/inspect/inspect_platform.h"

#include "tools/inspect/inspect_report.h"

namespace corvane::inspect {

const bool kHasWindowOptions = false;

InspectPlatform::InspectPlatform() = default;
InspectPlatform::~InspectPlatform() = default;

int InspectPlatform::ScreenDpi() {
  return kReferenceDpi;
}

DpiReading InspectPlatform::GameWindowDpi(uint64_t) {
  return {kReferenceDpi, false};
}

TextBox InspectPlatform::EstimateTextBox(std::span<const TextSegment> segments, int pixel_size) {
  return EstimateApproximateTextBox(segments, pixel_size);
}

std::string_view InspectPlatform::measured_by() const {
  return kApproximateMeasurerName;
}

bool InspectPlatform::ReadGameWindow(uint64_t, ScreenRect*, std::string*, std::string* error) {
  *error = "game windows can be read only on Windows";
  return false;
}

bool InspectPlatform::PaintPng(std::span<const TextSegment>, const FrameGraph&, int, int, uint8_t,
                               const std::string&, PaintedPng*, std::string* error) {
  *error = "PNG pictures can be painted only on Windows";
  return false;
}

}  // namespace corvane::inspect
