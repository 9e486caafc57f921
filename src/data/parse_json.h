#pragma once
// Picks this game's figures and the display style out of the document the host publishes.
#include <cstdint>
#include <string>
#include <string_view>

#include "src/data/perf_snapshot.h"

namespace corvane {

// Parses `text` and updates the two records in place, step by step: frame rate (the first
// "fps" entry whose "game_id" is `game_id`), CPU, GPU, memory, the disk entry whose name
// contains `game_drive` (case-insensitively) and the "ui_style" text. True when the whole
// document was processed. Text that is not JSON changes nothing and logs nothing; a value of
// the wrong type ends the parse with an ERROR record and false, keeping what the steps before
// it set. Never throws.
bool ParseJson(std::string_view text, uint64_t game_id, const std::string& game_drive,
               PerfSnapshot& snapshot, UiStyle& style);

}  // namespace corvane
