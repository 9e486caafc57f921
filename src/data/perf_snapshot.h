#pragma once
// The two records a read of the performance block fills: the figures for this game and the
// display style. They carry their values from one read to the next.
#include <cstdint>
#include <string>

namespace corvane {

struct PerfSnapshot {
  uint64_t fps_game_id = 0;
  double fps_cur = 0.0;  // frames per second
  double fps_min = 0.0;
  double fps_max = 0.0;
  bool fps_valid = false;  // an "fps" entry for this game was found by the last parse

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
};

struct UiStyle {
  int32_t alpha = 0;  // opacity of the box, 0..255
  int32_t font_size = 14;
  uint32_t font_color = 0xFFFFFF;  // 0x00RRGGBB
  std::string pos = "top-center";
  std::string direction = "hor";
};

}  // namespace corvane
