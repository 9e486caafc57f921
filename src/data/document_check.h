#pragma once
// Whether every overlay would read a document whole, told with the overlay's own parser. The
// host publishes one document for the overlays of all its games, and what an overlay reads
// depends on its game and its drive (the "min" of its own "fps" entry, the "used" of its own
// disk), so the check answers for the overlay of each game id of the "fps" entries and each
// name of the "diskio" entries, and of a game and a drive that none of them has (which reads
// every entry's "cur" and "name"). It runs ParseJson on the whole text once and on each
// entry that only some overlays read once, so its time grows with the text, not with the
// number of games times the text (only the disks' names are compared with each listed drive,
// to find the disk each drive's overlay takes).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "src/data/parse_json.h"

namespace corvane {

struct DocumentCheck {
  bool whole = false;
  // How many overlays the check answers for: each listed game and each listed drive, and one of
  // each not listed, taken in pairs.
  int overlays = 0;
  // When not whole: the first overlay that stopped or left a key out (no value: a game or a
  // drive that the document does not list), and where.
  std::optional<uint64_t> game_id;
  std::optional<std::string> drive;
  ParseStop stop;
  // A frame-pacing key that overlay left out, though it read everything else.
  std::optional<DroppedKey> dropped;
};

DocumentCheck CheckOverlayReading(std::string_view text);

// One line for a person: "read whole by every overlay (3 tried)", or which overlay stops at
// which key and why.
std::string DescribeCheck(const DocumentCheck& check);

}  // namespace corvane
