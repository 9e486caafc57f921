#include "src/data/parse_json.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <limits>
#include <optional>

#include <nlohmann/json.hpp>

#include "base/log/log_record.h"

namespace corvane {
namespace {

// The parser belongs to the reader of the block: its records carry the reader's source path.
constexpr char kLogSource[] = "src/data/shared_memory_reader";

using Json = nlohmann::json;

// The whole text as one document: no callback, no comments, nothing but white space after it.
// A document that does not parse is "discarded".
Json ParseDocument(std::string_view text) {
  return Json::parse(text, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/false);
}

// The value being read, so that a caller can be told which one stopped the parse: a key of the
// top level ("cpu"), a key inside a top-level value or one of its entries ("fps", 2, "cur"),
// or that value itself when it is not an object. Only pointers and an index are kept on the
// way; the path text is made when a parse stops.
class KeyTrail {
 public:
  // Reading inside `value`, found at `outer` (nullptr: the top level), entry `index` (-1: none).
  void Enter(const char* outer, ptrdiff_t index, const Json& value) {
    outer_ = outer;
    index_ = index;
    inside_object_ = value.is_object();
    key_ = nullptr;
  }
  void At(const char* key) { key_ = key; }

  // "fps[2].cur", "cpu", "diskio[1]"; empty for a top level that is not an object.
  std::string Path() const {
    std::string path = outer_ != nullptr ? outer_ : "";
    if (index_ >= 0) path += "[" + std::to_string(index_) + "]";
    if (inside_object_ && key_ != nullptr) path += (path.empty() ? "" : ".") + std::string(key_);
    return path;
  }

 private:
  const char* outer_ = nullptr;
  ptrdiff_t index_ = -1;
  bool inside_object_ = false;
  const char* key_ = nullptr;
};

}  // namespace

// A game id as the host may write it: an integer as it stands, a fraction truncated, decimal
// digits in a string (strtoull's reading), anything else 0. A floating-point value that no
// unsigned 64-bit integer holds after truncation also counts as 0: converting it would be
// undefined.
uint64_t GameIdOf(const Json& value) {
  if (value.is_number_unsigned()) return value.get<uint64_t>();
  if (value.is_number_integer()) return static_cast<uint64_t>(value.get<int64_t>());
  if (value.is_number_float()) {
    const double truncated = std::trunc(value.get<double>());
    constexpr double kTwoTo64 = 18446744073709551616.0;
    return truncated >= 0.0 && truncated < kTwoTo64 ? static_cast<uint64_t>(truncated) : 0;
  }
  if (value.is_string()) {
    return std::strtoull(value.get_ref<const std::string&>().c_str(), nullptr, 10);
  }
  return 0;
}

namespace {

// A 32-bit integer from a number (a fraction truncated toward zero) or a boolean (true is 1).
// Numbers outside the 32-bit range saturate rather than wrap or overflow. Any other type
// raises the library's type error.
int32_t ToInt32(const Json& value) {
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (value.is_number_unsigned()) {
    return static_cast<int32_t>(std::min<uint64_t>(value.get<uint64_t>(), kMax));
  }
  if (value.is_number_integer())
    return static_cast<int32_t>(std::clamp(value.get<int64_t>(), kMin, kMax));
  if (value.is_number_float()) {
    const double truncated = std::trunc(value.get<double>());
    return static_cast<int32_t>(std::clamp(truncated, double{kMin}, double{kMax}));
  }
  return value.get<int32_t>();
}

// The library's value(key, fallback) lookup with the 32-bit conversion above.
int32_t Int32Or(const Json& object, const char* key, int32_t fallback) {
  // Not an object: value() raises the library's "cannot use value() with ..." error.
  if (!object.is_object()) return object.value(key, fallback);
  const auto it = object.find(key);
  return it == object.end() ? fallback : ToInt32(*it);
}

// The array under `key`, or null when the key is absent or holds something else.
const Json* ArrayAt(const Json& document, const char* key) {
  const auto it = document.find(key);
  return it != document.end() && it->is_array() ? &*it : nullptr;
}

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

// `name` contains `drive` when both are lower-cased byte by byte (compared without copies).
bool DiskNameHasDrive(std::string_view name, std::string_view drive) {
  if (name.empty() || drive.empty() || drive.size() > name.size()) return false;
  return std::search(name.begin(), name.end(), drive.begin(), drive.end(),
                     [](char a, char b) { return Lower(a) == Lower(b); }) != name.end();
}

namespace {

// Why `value` is no usable figure between 0 and `highest`; empty when it is one.
std::string UnusableFigure(const Json& value, double highest) {
  if (!value.is_number()) return std::string("must be a number, not ") + value.type_name();
  const double figure = value.get<double>();
  if (figure < 0.0) return "negative (" + value.dump() + ")";
  if (!(figure <= highest)) {  // also infinity, which a number too large for a double becomes
    return "out of range (" + value.dump() + "; at most " + Json(highest).dump() + ")";
  }
  return {};
}

// The frame-pacing keys of this game's entry (entry `index` of "fps"). A bad key is left out
// on its own and noted in `dropped`; none of them ends the parse.
class FramePacingReader {
 public:
  FramePacingReader(const Json& entry, size_t index, std::vector<DroppedKey>* dropped)
      : entry_(entry), index_(index), dropped_(dropped) {}

  std::optional<double> Low(const char* key) { return Figure(key, 0.0, kHighestFrameRate); }

  // "target_ms": the frame time the game aims at.
  std::optional<double> TargetMs() {
    return Figure("target_ms", kShortestTargetMs, kLongestTargetMs);
  }

  // The newest kMaxFrameTimes of "frame_ms" into `frame_ms`; empty when absent or when any
  // value in it is unusable.
  void FrameTimes(std::vector<double>& frame_ms) {
    frame_ms.clear();
    const auto it = entry_.find("frame_ms");
    if (it == entry_.end()) return;
    if (!it->is_array()) {
      Drop("frame_ms", -1, std::string("must be an array, not ") + it->type_name());
      return;
    }
    for (size_t i = 0; i < it->size(); ++i) {
      std::string reason = UnusableFigure((*it)[i], kLongestFrameMs);
      if (!reason.empty()) {
        Drop("frame_ms", static_cast<ptrdiff_t>(i), std::move(reason));
        return;
      }
    }
    const size_t kept = std::min(it->size(), kMaxFrameTimes);
    for (size_t i = it->size() - kept; i < it->size(); ++i)
      frame_ms.push_back((*it)[i].get<double>());
  }

 private:
  // The number under `key`, from `lowest` to `highest`; none when absent or unusable.
  std::optional<double> Figure(const char* key, double lowest, double highest) {
    const auto it = entry_.find(key);
    if (it == entry_.end()) return std::nullopt;
    std::string reason = UnusableFigure(*it, highest);
    if (reason.empty() && it->get<double>() < lowest) {
      reason = "out of range (" + it->dump() + "; at least " + Json(lowest).dump() + ")";
    }
    if (reason.empty()) return it->get<double>();
    Drop(key, -1, std::move(reason));
    return std::nullopt;
  }

  void Drop(const char* key, ptrdiff_t item, std::string reason) {
    if (dropped_ == nullptr) return;
    std::string path = "fps[" + std::to_string(index_) + "]." + key;
    if (item >= 0) path += "[" + std::to_string(item) + "]";
    dropped_->push_back({std::move(path), std::move(reason)});
  }

  const Json& entry_;
  size_t index_;
  std::vector<DroppedKey>* dropped_;
};

void ReadFrameRate(const Json& document, EntryTakers& takers, PerfSnapshot& snapshot,
                   KeyTrail& trail, std::vector<DroppedKey>* dropped) {
  snapshot.fps_valid = false;
  const Json* entries = ArrayAt(document, "fps");
  if (entries == nullptr) return;
  const auto where = [&trail] { return trail.Path(); };
  for (size_t i = 0; i < entries->size() && takers.WalkingGames(); ++i) {
    const Json& entry = (*entries)[i];
    if (!entry.is_object()) continue;
    const auto game = entry.find("game_id");
    const auto current = entry.find("cur");
    if (game == entry.end() || current == entry.end()) continue;
    const uint64_t entry_game = GameIdOf(*game);
    // Converted for every entry that has one, so a bad "cur" before the match is an error too.
    trail.Enter("fps", i, entry);
    trail.At("cur");
    double cur = 0.0;
    if (!takers.ReadWalking(
            EntryTakers::Walk::kGames, [&] { cur = current->get<double>(); }, where)) {
      continue;
    }
    if (!takers.TakeGameEntry(entry_game)) continue;
    takers.ReadTaken(
        [&] {
          snapshot.fps_game_id = entry_game;
          snapshot.fps_cur = cur;
          trail.At("min");
          snapshot.fps_min = entry.value("min", 0.0);
          trail.At("max");
          snapshot.fps_max = entry.value("max", 0.0);
          snapshot.fps_valid = true;
          FramePacingReader pacing(entry, i, dropped);
          snapshot.fps_low1 = pacing.Low("low1");
          snapshot.fps_low01 = pacing.Low("low01");
          pacing.FrameTimes(snapshot.frame_ms);
          snapshot.fps_target_ms = pacing.TargetMs();
        },
        where);
  }
}

// The host's heartbeat, the top-level "seq": any number, kept as its JSON text. Of another
// type it is left out on its own, as a bad frame-pacing key is.
void ReadSeq(const Json& document, PerfSnapshot& snapshot, std::vector<DroppedKey>* dropped) {
  snapshot.seq.reset();
  const auto it = document.is_object() ? document.find("seq") : document.end();
  if (it == document.end()) return;
  if (it->is_number()) {
    snapshot.seq = it->dump();
  } else if (dropped != nullptr) {
    dropped->push_back({"seq", std::string("must be a number, not ") + it->type_name()});
  }
}

void ReadGpu(const Json& document, PerfSnapshot& snapshot, KeyTrail& trail) {
  snapshot.gpu_valid = false;
  const Json* adapters = ArrayAt(document, "gpu");
  if (adapters == nullptr) return;
  for (size_t i = 0; i < adapters->size(); ++i) {
    const Json& adapter = (*adapters)[i];
    if (!adapter.is_object() || !adapter.contains("gpu_mem_total")) continue;
    trail.Enter("gpu", i, adapter);
    trail.At("name");
    snapshot.gpu_name = adapter.value("name", std::string());
    trail.At("gpu");
    snapshot.gpu = adapter.value("gpu", 0.0);
    trail.At("gpu_mem_used");
    snapshot.gpu_mem_used = adapter.value("gpu_mem_used", 0.0);
    trail.At("gpu_mem_total");
    snapshot.gpu_mem_total = adapter.value("gpu_mem_total", 0.0);
    snapshot.gpu_valid = true;
    return;
  }
}

void ReadMemory(const Json& document, PerfSnapshot& snapshot, KeyTrail& trail) {
  const auto memory = document.find("memory");
  if (memory == document.end()) return;
  trail.Enter("memory", -1, *memory);
  trail.At("free");
  snapshot.mem_free = memory->value("free", 0.0);
  trail.At("total");
  snapshot.mem_total = memory->value("total", 0.0);
}

void ReadDisk(const Json& document, EntryTakers& takers, PerfSnapshot& snapshot, KeyTrail& trail) {
  snapshot.disk_valid = false;
  const Json* disks = ArrayAt(document, "diskio");
  if (disks == nullptr) return;
  const auto where = [&trail] { return trail.Path(); };
  for (size_t i = 0; i < disks->size() && takers.WalkingDisks(); ++i) {
    const Json& disk = (*disks)[i];
    trail.Enter("diskio", i, disk);
    trail.At("name");
    std::string name;
    if (!takers.ReadWalking(
            EntryTakers::Walk::kDisks, [&] { name = disk.value("name", std::string()); }, where)) {
      continue;
    }
    if (!takers.TakeDiskEntry(name)) continue;
    takers.ReadTaken(
        [&] {
          snapshot.disk_name = std::move(name);
          trail.At("used");
          snapshot.disk_used = disk.value("used", 0.0);
          snapshot.disk_valid = true;
        },
        where);
  }
}

// The takers of one overlay: the first "fps" entry of its game and the first "diskio" entry
// whose name has its drive (DiskNameHasDrive); it walks no further than those.
class OverlayTakers : public EntryTakers {
 public:
  OverlayTakers(uint64_t game_id, const std::string& drive) : game_id_(game_id), drive_(drive) {}
  bool TakeGameEntry(uint64_t game_id) override { return game_taken_ = game_id == game_id_; }
  bool TakeDiskEntry(std::string_view name) override {
    return disk_taken_ = DiskNameHasDrive(name, drive_);
  }
  bool WalkingGames() const override { return !game_taken_; }
  bool WalkingDisks() const override { return !disk_taken_; }

 private:
  uint64_t game_id_;
  const std::string& drive_;
  bool game_taken_ = false, disk_taken_ = false;
};

// A colour as six hexadecimal digits, optionally after "#": 0x00RRGGBB; none for anything else.
std::optional<uint32_t> Rgb(std::string text) {
  if (!text.empty() && text.front() == '#') text.erase(0, 1);
  const bool six_hex_digits = text.size() == 6 && std::all_of(text.begin(), text.end(), [](char c) {
                                return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                              });
  if (!six_hex_digits) return std::nullopt;
  unsigned r = 0, g = 0, b = 0;
  if (std::sscanf(text.c_str(), "%02x%02x%02x", &r, &g, &b) != 3) return std::nullopt;
  return (r << 16) | (g << 8) | b;
}

// "font-color": anything but a colour keeps `previous`.
uint32_t ColourOr(const std::string& text, uint32_t previous) {
  return Rgb(text).value_or(previous);
}

// The keys of "colors", in the order of ColorRow.
constexpr const char* kColorRowKeys[kColorRowCount] = {"fps", "gpu", "cpu", "ram", "io"};

// One row's thresholds, {"values": [ascending numbers], "colors": [one colour more]}. When it
// is not usable the result is empty, and `where` (the bad value inside the entry: "",
// ".values", ".colors[2]") and `reason` say why.
ColorThresholds ReadThresholds(const Json& entry, std::string& where, std::string& reason) {
  const auto fail = [&](std::string at, std::string why) {
    where = std::move(at);
    reason = std::move(why);
    return ColorThresholds{};
  };
  if (!entry.is_object())
    return fail("", std::string("must be an object, not ") + entry.type_name());
  const auto values = entry.find("values");
  const auto colors = entry.find("colors");
  if (values == entry.end()) return fail(".values", "is missing");
  if (!values->is_array()) {
    return fail(".values", std::string("must be an array of numbers, not ") + values->type_name());
  }
  if (values->size() > kMaxColorThresholds) {
    return fail(".values", "has " + std::to_string(values->size()) + " values; at most " +
                               std::to_string(kMaxColorThresholds));
  }
  ColorThresholds thresholds;
  for (size_t i = 0; i < values->size(); ++i) {
    const Json& value = (*values)[i];
    const std::string at = ".values[" + std::to_string(i) + "]";
    // Finite: a number too large for a double would be infinity.
    if (!value.is_number() || !std::isfinite(value.get<double>())) {
      return fail(at, std::string("must be a number, not ") + value.type_name());
    }
    const double figure = value.get<double>();
    if (!thresholds.values.empty() && !(figure > thresholds.values.back())) {
      return fail(
          at, "must be above the value before it (" + Json(thresholds.values.back()).dump() + ")");
    }
    thresholds.values.push_back(figure);
  }
  if (colors == entry.end()) return fail(".colors", "is missing");
  if (!colors->is_array()) {
    return fail(".colors",
                std::string("must be an array of \"#RRGGBB\" texts, not ") + colors->type_name());
  }
  for (size_t i = 0; i < colors->size(); ++i) {
    const Json& color = (*colors)[i];
    const std::optional<uint32_t> rgb =
        color.is_string() ? Rgb(color.get<std::string>()) : std::nullopt;
    if (!rgb) {
      return fail(".colors[" + std::to_string(i) + "]",
                  "must be a \"#RRGGBB\" text, not " + color.dump());
    }
    thresholds.colors.push_back(*rgb);
  }
  if (thresholds.colors.size() != thresholds.values.size() + 1) {
    return fail(".colors", "needs one colour more than the " +
                               std::to_string(thresholds.values.size()) + " values, not " +
                               std::to_string(thresholds.colors.size()));
  }
  return thresholds;
}

// The style's "colors": each row's thresholds, or none. A malformed entry costs only its row,
// noted in `dropped`; a "colors" that is not an object costs them all.
void ReadColors(const Json& style_text, UiStyle& style, std::vector<DroppedKey>* dropped) {
  for (ColorThresholds& row : style.colors) row = {};
  const auto colors = style_text.find("colors");
  if (colors == style_text.end()) return;
  const auto drop = [dropped](std::string key, std::string reason) {
    if (dropped != nullptr) dropped->push_back({std::move(key), std::move(reason)});
  };
  if (!colors->is_object()) {
    drop("ui_style.colors", std::string("must be an object, not ") + colors->type_name());
    return;
  }
  for (size_t row = 0; row < kColorRowCount; ++row) {
    const auto entry = colors->find(kColorRowKeys[row]);
    if (entry == colors->end()) continue;
    std::string where, reason;
    style.colors[row] = ReadThresholds(*entry, where, reason);
    if (!reason.empty()) {
      drop(std::string("ui_style.colors.") + kColorRowKeys[row] + where, std::move(reason));
    }
  }
}

void ReadStyle(const Json& document, UiStyle& style, KeyTrail& trail,
               std::vector<DroppedKey>* dropped) {
  const auto text = document.find("ui_style");
  if (text == document.end() || !text->is_string()) return;  // an object there is ignored
  const Json inner = ParseDocument(text->get_ref<const std::string&>());
  if (inner.is_discarded()) return;
  trail.Enter("ui_style", -1, inner);
  trail.At("alpha");
  const int32_t percent = std::clamp(Int32Or(inner, "alpha", 0), 0, 100);
  style.alpha = (percent * 255 + 50) / 100;
  trail.At("font-size");
  style.font_size = Int32Or(inner, "font-size", 14);
  trail.At("pos");
  style.pos = inner.value("pos", std::string("top-center"));
  trail.At("direction");
  style.direction = inner.value("direction", std::string("hor"));
  trail.At("font-color");
  style.font_color = ColourOr(inner.value("font-color", std::string("ffffff")), style.font_color);
  ReadColors(inner, style, dropped);
}

}  // namespace

bool ParseJson(std::string_view text, uint64_t game_id, const std::string& game_drive,
               PerfSnapshot& snapshot, UiStyle& style, ParseStop* stop,
               std::vector<DroppedKey>* dropped) {
  OverlayTakers takers(game_id, game_drive);
  return ReadDocument(text, takers, snapshot, style, stop, dropped);
}

bool ReadDocument(std::string_view text, EntryTakers& takers, PerfSnapshot& snapshot,
                  UiStyle& style, ParseStop* stop, std::vector<DroppedKey>* dropped) {
  KeyTrail trail;
  // Says where and why the parse stopped; making the path text must not throw past here.
  const auto tell = [&](const char* reason) noexcept {
    if (stop == nullptr) return;
    try {
      stop->key = trail.Path();
      stop->reason = reason;
    } catch (...) {
    }
  };
  try {
    const Json document = ParseDocument(text);
    if (document.is_discarded()) {
      tell("not a JSON document");
      return false;
    }
    takers.Begin(document);
    // Read first, so that a parse that stops later still says which publication it read.
    snapshot.document_digest = std::hash<std::string_view>{}(text);
    ReadSeq(document, snapshot, dropped);
    ReadFrameRate(document, takers, snapshot, trail, dropped);
    // The first lookup that needs an object: any other top level ends the parse here.
    trail.Enter(nullptr, -1, document);
    trail.At("cpu");
    snapshot.cpu = document.value("cpu", 0.0);
    ReadGpu(document, snapshot, trail);
    ReadMemory(document, snapshot, trail);
    ReadDisk(document, takers, snapshot, trail);
    ReadStyle(document, style, trail, dropped);
    return true;
  } catch (const std::exception& e) {
    LOG_ERROR("ParseJson exception: {}", e.what());
    tell(e.what());
  } catch (...) {
    LOG_ERROR("ParseJson unknown exception");
    tell("unknown exception");
  }
  return false;
}

}  // namespace corvane
