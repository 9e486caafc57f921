#pragma once
// Picks this game's figures and the display style out of the document the host publishes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "src/data/perf_snapshot.h"

namespace corvane {

// Parses `text` and updates the two records in place, step by step: frame rate (the first
// "fps" entry whose "game_id" is `game_id`), CPU, GPU, memory, the disk entry whose name
// contains `game_drive` (case-insensitively) and the "ui_style" text. True when the whole
// document was processed. Text that is not JSON changes nothing and logs nothing; a value of
// the wrong type ends the parse with an ERROR record and false, keeping what the steps before
// it set. Never throws.
// Where a parse stopped, for tools that tell a host what to mend.
struct ParseStop {
  // The value that stopped it, as a path: "cpu", "fps[2].cur", "diskio[1]" (an entry that is
  // not an object), "ui_style.alpha" (inside the style text); empty when the top level is
  // not an object or the text is not JSON.
  std::string key;
  std::string reason;  // the JSON library's message, or "not a JSON document"
};

// A value that the parser left out without stopping: a frame-pacing key of this game's "fps"
// entry ("low1", "low01", "frame_ms", "target_ms") that is of the wrong type, negative or
// absurd, or a malformed row of the style's "colors". Only that key is lost; the figures of
// every other key are read as usual.
struct DroppedKey {
  // "fps[0].low1", "fps[0].frame_ms" (not an array), "fps[0].frame_ms[7]",
  // "ui_style.colors" (not an object), "ui_style.colors.cpu" (not an object),
  // "ui_style.colors.cpu.values[1]"
  std::string key;
  std::string reason;  // "must be a number, not string", "negative (-3)", ...
};

// When `stop` is given, a false result also says where and why. When `dropped` is given, it
// receives every key that was left out.
bool ParseJson(std::string_view text, uint64_t game_id, const std::string& game_drive,
               PerfSnapshot& snapshot, UiStyle& style, ParseStop* stop = nullptr,
               std::vector<DroppedKey>* dropped = nullptr);

// The game id that an "fps" entry's "game_id" value stands for, as ParseJson compares it with
// the overlay's: an integer as it stands, a fraction truncated, a string's leading decimal
// digits (strtoull's reading), anything else 0.
uint64_t GameIdOf(const nlohmann::json& value);

// Whether the overlay on `drive` takes a "diskio" entry named `name`: neither is empty and the
// name contains the drive, ignoring case (ASCII).
bool DiskNameHasDrive(std::string_view name, std::string_view drive);

}  // namespace corvane
