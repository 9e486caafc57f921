#pragma once
// The two records a read of the performance block fills: the figures for this game and the
// display style. They carry their values from one read to the next.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// The frame-pacing keys of an "fps" entry. Of "frame_ms" the newest this many are kept.
inline constexpr size_t kMaxFrameTimes = 240;
// Values beyond these are taken for a host's mistake, not a game's figure: a frame of more
// than a minute, or a frame rate above 100000 per second.
inline constexpr double kLongestFrameMs = 60000.0;
inline constexpr double kHighestFrameRate = 100000.0;
// The frame time a game aims at ("target_ms"), in milliseconds: from 2000 frames a second to one.
inline constexpr double kShortestTargetMs = 0.5;
inline constexpr double kLongestTargetMs = 1000.0;

struct PerfSnapshot {
  uint64_t fps_game_id = 0;
  double fps_cur = 0.0;  // frames per second
  double fps_min = 0.0;
  double fps_max = 0.0;
  bool fps_valid = false;  // an "fps" entry for this game was found by the last parse
  // Frame pacing, from the same entry. Each is empty when that entry lacks the key or when its
  // value was not usable (of the wrong type, negative or absurd): only that key is lost.
  std::optional<double> fps_low1;       // the 1% low, frames per second, as the host computed it
  std::optional<double> fps_low01;      // the 0.1% low
  std::vector<double> frame_ms;         // the newest frame times, milliseconds, oldest first
  std::optional<double> fps_target_ms;  // the frame time the game aims at, milliseconds

  double cpu = 0.0;  // percent

  std::string gpu_name;
  double gpu = 0.0;            // percent
  double gpu_mem_used = 0.0;   // bytes
  double gpu_mem_total = 0.0;  // bytes
  bool gpu_valid = false;

  double mem_free = 0.0;   // MiB
  double mem_total = 0.0;  // MiB

  std::string disk_name;
  double disk_used = 0.0;  // busy time, percent
  bool disk_valid = false;

  // The host's heartbeat: the top-level "seq" of the last document, a number the host changes
  // at every publication, kept as its JSON text ("17") so that no value is rounded when two are
  // compared. Empty when that document had none (or not a number).
  std::optional<std::string> seq;
  // Tells documents apart: a hash of the last text that parsed as JSON, whole or not.
  uint64_t document_digest = 0;
};

// The rows a style's "colors" can colour, in the order of the overlay's rows.
enum class ColorRow { kFps, kGpu, kCpu, kRam, kIo };
inline constexpr size_t kColorRowCount = 5;
// A row takes at most this many thresholds.
inline constexpr size_t kMaxColorThresholds = 8;

// A row's colour thresholds: a figure below values[0] takes colors[0], from values[i - 1] to
// below values[i] colors[i], from the last value on the last colour. Values ascend strictly;
// there is one colour more than values. Empty: the row keeps the text's colour.
struct ColorThresholds {
  std::vector<double> values;
  std::vector<uint32_t> colors;  // 0x00RRGGBB

  bool empty() const { return colors.empty(); }
  // The colour of `figure`, 0x00RRGGBB; only when not empty.
  uint32_t ColorOf(double figure) const;
  bool operator==(const ColorThresholds&) const = default;
};

struct UiStyle {
  int32_t alpha = 0;  // opacity of the box, 0..255
  int32_t font_size = 14;
  uint32_t font_color = 0xFFFFFF;  // 0x00RRGGBB
  std::string pos = "top-center";
  std::string direction = "hor";
  std::array<ColorThresholds, kColorRowCount> colors;  // by ColorRow; all empty: no "colors"

  const ColorThresholds& ColorsOf(ColorRow row) const { return colors[static_cast<size_t>(row)]; }
};

inline uint32_t ColorThresholds::ColorOf(double figure) const {
  const auto above = std::upper_bound(values.begin(), values.end(), figure);
  return colors[static_cast<size_t>(above - values.begin())];
}

}  // namespace corvane
