#pragma once
// The heartbeat corvane-feed gives each document it republishes: a top-level "seq" that
// changes at every publication, so that the overlays can tell a live host from a hung one
// whose figures merely stand still.
#include <cstdint>
#include <string>

namespace corvane::feed {

// `document` with "seq": `seq` as the first key of its top-level object, the rest of its text
// as it was. A document that carries a "seq" of its own keeps it (its author keeps the
// heartbeat), and one that is not a JSON object is given back unchanged.
std::string WithSeq(const std::string& document, uint64_t seq);

}  // namespace corvane::feed
