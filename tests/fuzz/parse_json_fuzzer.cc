// libFuzzer target: any text through the document parser, with every log record formatted.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "src/data/parse_json.h"
#include "tests/support/test_logger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static corvane::testing::TestLogger logger;
  static corvane::testing::ScopedLoggerReplacement replace(&logger);
  logger.records.clear();

  const std::string text(reinterpret_cast<const char*>(data), size);
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  // Two drives and two game ids, so that both the matching and the skipping paths run.
  std::vector<corvane::DroppedKey> dropped;
  const bool parsed = corvane::ParseJson(text, 12345, "C:", snapshot, style, nullptr, &dropped);
  // A parse that succeeds logs nothing; one that fails logs at most its one error.
  if (logger.records.size() > (parsed ? 0u : 1u)) __builtin_trap();
  // The frame-pacing figures kept are the ones the overlay can draw: at most 240 frame times,
  // each within range, and lows within range; a key left out is named.
  if (snapshot.frame_ms.size() > corvane::kMaxFrameTimes) __builtin_trap();
  for (const double ms : snapshot.frame_ms) {
    if (!(ms >= 0.0 && ms <= corvane::kLongestFrameMs)) __builtin_trap();
  }
  for (const auto& low : {snapshot.fps_low1, snapshot.fps_low01}) {
    if (low && !(*low >= 0.0 && *low <= corvane::kHighestFrameRate)) __builtin_trap();
  }
  if (snapshot.fps_target_ms && !(*snapshot.fps_target_ms >= corvane::kShortestTargetMs &&
                                  *snapshot.fps_target_ms <= corvane::kLongestTargetMs)) {
    __builtin_trap();
  }
  // Colour thresholds kept are usable: ascending values, one colour more, or none at all.
  for (const corvane::ColorThresholds& row : style.colors) {
    if (!row.empty() && row.colors.size() != row.values.size() + 1) __builtin_trap();
    if (row.values.size() > corvane::kMaxColorThresholds) __builtin_trap();
    for (size_t i = 1; i < row.values.size(); ++i) {
      if (!(row.values[i] > row.values[i - 1])) __builtin_trap();
    }
  }
  for (const corvane::DroppedKey& key : dropped) {
    const bool pacing = key.key.rfind("fps[", 0) == 0;
    const bool colours = key.key.rfind("ui_style.colors", 0) == 0;
    if ((!pacing && !colours && key.key != "seq") || key.reason.empty()) __builtin_trap();
  }
  // The heartbeat is kept only as a number's JSON text.
  if (snapshot.seq &&
      !nlohmann::json::parse(*snapshot.seq, nullptr, /*allow_exceptions=*/false).is_number()) {
    __builtin_trap();
  }
  corvane::ParseJson(text, 0, "_Total", snapshot, style);
  if (style.alpha < 0 || style.alpha > 255) __builtin_trap();
  return 0;
}
