#include "src/data/document_check.h"

#include <algorithm>
#include <exception>
#include <set>

#include <nlohmann/json.hpp>

#include "src/data/perf_snapshot.h"

namespace corvane {
namespace {

using Json = nlohmann::json;

// Every overlay of a document as the takers of one walk. A game's overlay takes the first
// entry of its game, a drive's overlay the first disk whose name has its drive, and the
// overlay of a game and a drive that the document does not list walks every entry. A bad value
// is noted for the overlay that read it and the walk goes on: a bad "cur" or "name" stops every
// overlay still walking (that one not listed among them), so that walk ends there.
class EveryOverlay : public EntryTakers {
 public:
  explicit EveryOverlay(const std::vector<DroppedKey>& dropped, std::vector<OverlayProblem>& notes)
      : dropped_(dropped), notes_(notes) {}

  // The drives the document lists: the names of its "diskio" entries, once each, in order.
  void Begin(const Json& document) override {
    const auto disks = document.is_object() ? document.find("diskio") : document.end();
    if (disks == document.end() || !disks->is_array()) return;
    std::set<std::string> seen;
    for (const Json& disk : *disks) {
      const auto name = disk.is_object() ? disk.find("name") : disk.end();
      if (name == disk.end() || !name->is_string()) continue;
      const auto& text = name->get_ref<const std::string&>();
      if (!text.empty() && seen.insert(text).second) drives_.push_back(text);
    }
    looking_.assign(drives_.size(), true);
  }

  bool TakeGameEntry(uint64_t game_id) override {
    if (!games_.insert(game_id).second) return false;  // its overlay took an earlier entry
    reader_ = {game_id, std::nullopt};
    return true;
  }

  bool TakeDiskEntry(std::string_view name) override {
    bool taken = false;
    for (size_t i = 0; i < drives_.size(); ++i) {
      if (!looking_[i] || !DiskNameHasDrive(name, drives_[i])) continue;
      looking_[i] = false;
      if (!taken) reader_ = {std::nullopt, drives_[i]};  // the first drive that takes it
      taken = true;
    }
    return taken;
  }

  bool WalkingGames() const override { return !stopped_[0]; }
  bool WalkingDisks() const override { return !stopped_[1]; }

  bool ReadWalking(Walk walk, const std::function<void()>& read,
                   const std::function<std::string()>& where) override {
    try {
      read();
      return true;
    } catch (const std::exception& e) {
      notes_.push_back({std::nullopt, std::nullopt, {where(), e.what()}, std::nullopt});
      stopped_[walk == Walk::kGames ? 0 : 1] = true;
      return false;
    }
  }

  void ReadTaken(const std::function<void()>& read,
                 const std::function<std::string()>& where) override {
    try {
      read();
    } catch (const std::exception& e) {
      notes_.push_back({reader_.game_id, reader_.drive, {where(), e.what()}, std::nullopt});
    }
    for (; told_dropped_ < dropped_.size(); ++told_dropped_) {
      notes_.push_back({reader_.game_id, reader_.drive, {}, dropped_[told_dropped_]});
    }
  }

  // Keys left out that every overlay reads (inside the style), noted after the walk.
  void NoteDroppedByEveryOverlay() {
    for (; told_dropped_ < dropped_.size(); ++told_dropped_) {
      notes_.push_back({std::nullopt, std::nullopt, {}, dropped_[told_dropped_]});
    }
  }

  int overlays() const { return static_cast<int>(std::max(games_.size(), drives_.size())) + 1; }

 private:
  struct Reader {
    std::optional<uint64_t> game_id;
    std::optional<std::string> drive;
  };

  const std::vector<DroppedKey>& dropped_;
  std::vector<OverlayProblem>& notes_;
  std::set<uint64_t> games_;
  std::vector<std::string> drives_;
  std::vector<bool> looking_;  // the drives whose overlays have not taken a disk yet
  Reader reader_;              // the overlay that took the entry being read
  bool stopped_[2] = {false, false};
  size_t told_dropped_ = 0;
};

}  // namespace

DocumentCheck CheckOverlayReading(std::string_view text) {
  DocumentCheck check;
  std::vector<DroppedKey> dropped;
  EveryOverlay overlays(dropped, check.problems);
  PerfSnapshot snapshot;
  UiStyle style;
  ParseStop stop;
  const bool read = ReadDocument(text, overlays, snapshot, style, &stop, &dropped);
  if (!read && stop.key.empty() && stop.reason == "not a JSON document") {
    // The parser says only that; the library's own parse says where and why.
    try {
      [[maybe_unused]] const Json parsed =
          Json::parse(text, nullptr, /*allow_exceptions=*/true, /*ignore_comments=*/false);
    } catch (const Json::exception& e) {
      stop.reason = std::string("not a JSON document: ") + e.what();
    }
    check.overlays = 1;
    check.stop = stop;
    return check;
  }
  // A value every overlay reads stopped them all.
  if (!read) check.problems.push_back({std::nullopt, std::nullopt, stop, std::nullopt});
  overlays.NoteDroppedByEveryOverlay();
  check.overlays = overlays.overlays();
  check.whole = check.problems.empty();
  if (!check.whole) {
    const OverlayProblem& first = check.problems.front();
    check.game_id = first.game_id;
    check.drive = first.drive;
    check.stop = first.stop;
    check.dropped = first.dropped;
  }
  return check;
}

namespace {

std::string KeyOf(const OverlayProblem& problem) {
  const std::string& key = problem.dropped ? problem.dropped->key : problem.stop.key;
  return key.empty() ? "the top level" : "\"" + key + "\"";
}

}  // namespace

std::string DescribeCheck(const DocumentCheck& check) {
  if (check.whole) {
    return "read whole by every overlay (" + std::to_string(check.overlays) + " tried)";
  }
  if (check.stop.reason.starts_with("not a JSON document")) return check.stop.reason;
  const std::string game =
      check.game_id ? "game " + std::to_string(*check.game_id) : "a game not listed";
  const std::string drive = check.drive ? "drive \"" + *check.drive + "\"" : "a drive not listed";
  const std::string overlay = "not read whole: the overlay of " + game + " on " + drive;
  std::string line;
  if (check.dropped) {
    line = overlay + " leaves out \"" + check.dropped->key +
           "\" (and reads the rest): " + check.dropped->reason;
  } else {
    const std::string where = check.stop.key.empty() ? "the top level (it is not an object)"
                                                     : "\"" + check.stop.key + "\"";
    line = overlay + " stops at " + where + ": " + check.stop.reason;
  }
  if (check.problems.size() > 1) {
    line += " (and " + std::to_string(check.problems.size() - 1) + " more: ";
    for (size_t i = 1; i < check.problems.size(); ++i) {
      line += (i > 1 ? ", " : "") + KeyOf(check.problems[i]);
    }
    line += ")";
  }
  return line;
}

}  // namespace corvane
