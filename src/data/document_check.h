#pragma once
// Whether every overlay would read a document whole, told with the overlay's own parser. The
// host publishes one document for the overlays of all its games, and what an overlay reads
// depends on its game and its drive (the "min" of its own "fps" entry, the "used" of its own
// disk), so ParseJson runs once for each game id of the "fps" entries and each name of the
// "diskio" entries, and once for a game and a drive that none of them has (which reads every
// entry's "cur" and "name").
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "src/data/parse_json.h"

namespace corvane {

struct DocumentCheck {
  bool whole = false;
  int overlays = 0;  // how many overlays were tried (parses run)
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
