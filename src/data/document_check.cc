#include "src/data/document_check.h"

#include <algorithm>
#include <limits>
#include <map>
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

// The "fps" entries of each listed game (objects with a "game_id"), as indices into the array:
// each entry belongs to one game, so together they hold each entry once.
std::vector<std::vector<size_t>> EntriesOfEachGame(const Json& document, const Overlays& overlays) {
  std::vector<std::vector<size_t>> entries(overlays.game_ids.size() - 1);  // the unlisted: none
  const auto fps = document.find("fps");
  if (fps == document.end() || !fps->is_array()) return entries;
  std::map<uint64_t, size_t> game_index;
  for (size_t i = 0; i + 1 < overlays.game_ids.size(); ++i) game_index[*overlays.game_ids[i]] = i;
  for (size_t i = 0; i < fps->size(); ++i) {
    const Json& entry = (*fps)[i];
    if (entry.is_object() && entry.contains("game_id")) {
      entries[game_index.at(GameIdOf(entry["game_id"]))].push_back(i);
    }
  }
  return entries;
}

// The "diskio" entry that the overlay on `drive` takes (the first whose name has the drive), as
// an index; none when no entry has it. Only after every entry's name was read.
std::optional<size_t> EntryOfDrive(const Json& document, const std::string& drive) {
  const Json& disks = document["diskio"];
  for (size_t i = 0; i < disks.size(); ++i) {
    if (DiskNameHasDrive(disks[i].value("name", std::string()), drive)) return i;
  }
  return std::nullopt;
}

// `{"<array>": [the entries at `indices`]}`: a document of some entries alone.
std::string DocumentOf(const Json& document, const char* array,
                       const std::vector<size_t>& indices) {
  Json entries = Json::array();
  for (size_t i : indices) entries.push_back(document[array][i]);
  return Json{{array, std::move(entries)}}.dump();
}

// A stop inside DocumentOf's text, "fps[1].min", names the entry of the whole document:
// "fps[<indices[1]>].min".
void RenumberStop(const char* array, const std::vector<size_t>& indices, std::string& key) {
  const std::string head = std::string(array) + "[";
  const size_t close = key.find(']');
  if (!key.starts_with(head) || close == std::string::npos) return;
  const size_t at = std::stoul(key.substr(head.size(), close - head.size()));
  key = head + std::to_string(indices.at(at)) + key.substr(close);
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
  check.overlays = static_cast<int>(std::max(overlays.game_ids.size(), overlays.drives.size()));
  // One overlay of `game_id` (none: not listed) on `drive` (none: not listed) reading `part`.
  const auto reads_whole = [&](std::string_view part, const std::optional<uint64_t>& game_id,
                               const std::optional<std::string>& drive) {
    PerfSnapshot snapshot;
    UiStyle style;
    // An empty drive matches no entry, after each entry's name has been read as for any drive.
    std::vector<DroppedKey> dropped;
    const bool parsed = ParseJson(part, game_id.value_or(unlisted_game), drive.value_or(""),
                                  snapshot, style, &check.stop, &dropped);
    if (parsed && dropped.empty()) return true;
    check.game_id = game_id;
    check.drive = drive;
    if (parsed) check.dropped = dropped.front();
    return false;
  };

  // Each overlay reads the whole document once, so each text is read once here, in parts: the
  // overlay of a game and a drive not listed reads all that every overlay reads (each "fps"
  // entry's game and "cur", each "diskio" entry's name, the rest whole); beyond that, a listed
  // game's overlay reads only its own "fps" entry, and a listed drive's only the "diskio" entry
  // that it takes, each read alone here.
  if (!reads_whole(text, std::nullopt, std::nullopt)) return check;
  const auto game_entries = EntriesOfEachGame(document, overlays);
  for (size_t i = 0; i < game_entries.size(); ++i) {
    if (!reads_whole(DocumentOf(document, "fps", game_entries[i]), overlays.game_ids[i],
                     std::nullopt)) {
      RenumberStop("fps", game_entries[i], check.stop.key);
      if (check.dropped) RenumberStop("fps", game_entries[i], check.dropped->key);
      return check;
    }
  }
  std::set<std::string> drives_seen;
  std::set<size_t> disks_read;
  for (size_t i = 0; i + 1 < overlays.drives.size(); ++i) {
    if (!drives_seen.insert(*overlays.drives[i]).second) continue;
    const auto entry = EntryOfDrive(document, *overlays.drives[i]);
    if (!entry || !disks_read.insert(*entry).second) continue;
    if (!reads_whole(DocumentOf(document, "diskio", {*entry}), std::nullopt, overlays.drives[i])) {
      RenumberStop("diskio", {*entry}, check.stop.key);
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
