#include "src/data/document_check.h"

#include <algorithm>
#include <limits>
#include <set>
#include <vector>

#include <nlohmann/json.hpp>

#include "src/data/perf_snapshot.h"

namespace corvane {
namespace {

using Json = nlohmann::json;

// The overlays to try: every game and drive that the document lists, and (no value) one of
// each that it does not list.
struct Overlays {
  std::vector<std::optional<uint64_t>> game_ids;
  std::vector<std::optional<std::string>> drives;
};

Overlays OverlaysFor(const Json& document) {
  Overlays overlays;
  std::set<uint64_t> listed;
  const auto fps = document.is_object() ? document.find("fps") : document.end();
  if (fps != document.end() && fps->is_array()) {
    for (const Json& entry : *fps) {
      if (!entry.is_object() || !entry.contains("game_id")) continue;
      const uint64_t game_id = GameIdOf(entry["game_id"]);
      if (listed.insert(game_id).second) overlays.game_ids.push_back(game_id);
    }
  }
  overlays.game_ids.push_back(std::nullopt);

  const auto disks = document.is_object() ? document.find("diskio") : document.end();
  if (disks != document.end() && disks->is_array()) {
    for (const Json& disk : *disks) {
      const auto name = disk.is_object() ? disk.find("name") : disk.end();
      if (name == disk.end() || !name->is_string() || name->get_ref<const std::string&>().empty())
        continue;
      overlays.drives.push_back(name->get<std::string>());
    }
  }
  overlays.drives.push_back(std::nullopt);
  return overlays;
}

// A game id that no "fps" entry has.
uint64_t UnlistedGameId(const Overlays& overlays) {
  uint64_t id = std::numeric_limits<uint64_t>::max();
  while (std::find(overlays.game_ids.begin(), overlays.game_ids.end(), id) !=
         overlays.game_ids.end()) {
    --id;
  }
  return id;
}

}  // namespace

DocumentCheck CheckOverlayReading(std::string_view text) {
  DocumentCheck check;
  Json document;
  try {
    document = Json::parse(text, nullptr, /*allow_exceptions=*/true, /*ignore_comments=*/false);
  } catch (const Json::exception& e) {
    check.overlays = 1;
    check.stop.reason = std::string("not a JSON document: ") + e.what();
    return check;
  }
  const Overlays overlays = OverlaysFor(document);
  const uint64_t unlisted_game = UnlistedGameId(overlays);
  const size_t runs = std::max(overlays.game_ids.size(), overlays.drives.size());
  for (size_t i = 0; i < runs; ++i) {
    // Past the end of either list, its last item: the one that is not listed.
    const auto& game_id = overlays.game_ids[std::min(i, overlays.game_ids.size() - 1)];
    const auto& drive = overlays.drives[std::min(i, overlays.drives.size() - 1)];
    PerfSnapshot snapshot;
    UiStyle style;
    ++check.overlays;
    // An empty drive matches no entry, after each entry's name has been read as for any drive.
    std::vector<DroppedKey> dropped;
    const bool parsed = ParseJson(text, game_id.value_or(unlisted_game), drive.value_or(""),
                                  snapshot, style, &check.stop, &dropped);
    if (!parsed || !dropped.empty()) {
      check.game_id = game_id;
      check.drive = drive;
      if (parsed) check.dropped = dropped.front();
      return check;
    }
  }
  check.whole = true;
  return check;
}

std::string DescribeCheck(const DocumentCheck& check) {
  if (check.whole) {
    return "read whole by every overlay (" + std::to_string(check.overlays) + " tried)";
  }
  if (check.stop.reason.starts_with("not a JSON document")) return check.stop.reason;
  const std::string game =
      check.game_id ? "game " + std::to_string(*check.game_id) : "a game not listed";
  const std::string drive = check.drive ? "drive \"" + *check.drive + "\"" : "a drive not listed";
  const std::string overlay = "not read whole: the overlay of " + game + " on " + drive;
  if (check.dropped) {
    return overlay + " leaves out \"" + check.dropped->key +
           "\" (and reads the rest): " + check.dropped->reason;
  }
  const std::string where =
      check.stop.key.empty() ? "the top level (it is not an object)" : "\"" + check.stop.key + "\"";
  return overlay + " stops at " + where + ": " + check.stop.reason;
}

}  // namespace corvane
