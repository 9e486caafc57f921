#pragma once
// Picks this game's figures and the display style out of the document the host publishes.
#include <cstdint>
#include <functional>
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
// absurd, a malformed row of the style's "colors", or a top-level "seq" that is not a number.
// Only that key is lost; the figures of every other key are read as usual.
struct DroppedKey {
  // "fps[0].low1", "fps[0].frame_ms" (not an array), "fps[0].frame_ms[7]", "seq",
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

// Who takes the per-game and per-drive entries in a walk of the document: one overlay
// (ParseJson: the first "fps" entry of its game, the first "diskio" entry whose name has its
// drive), or every overlay at once (the document check). The walk and its rules are the
// parser's: an "fps" entry takes part when it is an object with "game_id" and "cur", and its
// "cur" is read (before its game is compared) while an overlay still walks; every "diskio"
// entry's "name" is read while an overlay still walks. A taker says only which entries are
// taken, and what becomes of a bad value in them.
class EntryTakers {
 public:
  virtual ~EntryTakers() = default;
  // Called once with the parsed document, before the walk.
  virtual void Begin(const nlohmann::json& document) { (void)document; }
  // Whether an overlay takes the "fps" entry of game `game_id` that the walk has reached.
  virtual bool TakeGameEntry(uint64_t game_id) = 0;
  // Whether an overlay takes the "diskio" entry named `name` that the walk has reached.
  virtual bool TakeDiskEntry(std::string_view name) = 0;
  // Whether an overlay still walks the "fps" entries, or the "diskio" entries.
  virtual bool WalkingGames() const = 0;
  virtual bool WalkingDisks() const = 0;
  // Reads a value that every overlay still walking `walk` reads ("cur", a disk's "name");
  // `where` names it. An overlay lets a bad value end its parse (what `read` throws); the
  // document check notes it and returns false, and the walk leaves that entry.
  enum class Walk { kGames, kDisks };
  virtual bool ReadWalking(Walk walk, const std::function<void()>& read,
                           const std::function<std::string()>& where) {
    (void)walk;
    (void)where;
    read();
    return true;
  }
  // Reads the keys of an entry that an overlay took, likewise.
  virtual void ReadTaken(const std::function<void()>& read,
                         const std::function<std::string()>& where) {
    (void)where;
    read();
  }
};

// ParseJson's work for `takers`: one parse of `text`, then the walk. ParseJson is this with one
// overlay's takers.
bool ReadDocument(std::string_view text, EntryTakers& takers, PerfSnapshot& snapshot,
                  UiStyle& style, ParseStop* stop = nullptr,
                  std::vector<DroppedKey>* dropped = nullptr);

// The game id that an "fps" entry's "game_id" value stands for, as ParseJson compares it with
// the overlay's: an integer as it stands, a fraction truncated, a string's leading decimal
// digits (strtoull's reading), anything else 0.
uint64_t GameIdOf(const nlohmann::json& value);

// Whether the overlay on `drive` takes a "diskio" entry named `name`: neither is empty and the
// name contains the drive, ignoring case (ASCII).
bool DiskNameHasDrive(std::string_view name, std::string_view drive);

}  // namespace corvane
