#pragma once
// Whether every overlay would read a document whole, told with the overlay's own parser. The
// host publishes one document for the overlays of all its games, and what an overlay reads
// depends on its game and its drive (the "min" of its own "fps" entry, the "used" of its own
// disk), so the check answers for the overlay of each game of the "fps" entries and each name
// of the "diskio" entries, and of a game and a drive that none of them has (which walks every
// entry's "cur" and "name"). It parses the text once and walks it once, through the parser's
// own walk for every overlay at once (EntryTakers): each entry that some overlay takes is read
// once, for the first overlay that takes it, and what stops or is left out is told per entry.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/data/parse_json.h"

namespace corvane {

// An overlay that stops at a value, or leaves a key out though it reads everything else.
struct OverlayProblem {
  std::optional<uint64_t> game_id;    // none: a game that the document does not list
  std::optional<std::string> drive;   // none: a drive that the document does not list
  ParseStop stop;                     // where and why it stopped (nothing when it did not)
  std::optional<DroppedKey> dropped;  // a frame-pacing, style or "seq" key it leaves out
};

struct DocumentCheck {
  bool whole = false;
  // How many overlays the check answers for: each listed game and each listed drive, and one of
  // each not listed, taken in pairs.
  int overlays = 0;
  // Every problem, entry by entry in the document's order: at most one per entry (an entry
  // that stops an overlay is not read further), and one for a value every overlay reads.
  std::vector<OverlayProblem> problems;
  // The first of them, as a person is told it: which overlay (no value: a game or a drive that
  // the document does not list), and where.
  std::optional<uint64_t> game_id;
  std::optional<std::string> drive;
  ParseStop stop;
  std::optional<DroppedKey> dropped;
};

DocumentCheck CheckOverlayReading(std::string_view text);

// One line for a person: "read whole by every overlay (3 tried)", or which overlay stops at
// which key and why (and which other keys stop or are left out, when there are more).
std::string DescribeCheck(const DocumentCheck& check);

}  // namespace corvane
