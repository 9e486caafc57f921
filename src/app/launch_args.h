#pragma once
// What the process entry hands the overlay application from the command line.
#include <cstdint>

namespace corvane {

struct LaunchArgs {
  uintptr_t game_window = 0;  // window handle; 0 = none given
  uint64_t game_id = 0;       // 0 = none given
};

}  // namespace corvane
