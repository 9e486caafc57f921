#include "src/data/parse_json.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>

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

// Whether `name` contains `drive` when both are lower-cased byte by byte, without copies.
bool ContainsIgnoringCase(std::string_view name, std::string_view drive) {
  return std::search(name.begin(), name.end(), drive.begin(), drive.end(),
                     [](char a, char b) { return Lower(a) == Lower(b); }) != name.end();
}

void ReadFrameRate(const Json& document, uint64_t game_id, PerfSnapshot& snapshot) {
  snapshot.fps_valid = false;
  const Json* entries = ArrayAt(document, "fps");
  if (entries == nullptr) return;
  for (const Json& entry : *entries) {
    if (!entry.is_object()) continue;
    const auto game = entry.find("game_id");
    const auto current = entry.find("cur");
    if (game == entry.end() || current == entry.end()) continue;
    const uint64_t entry_game = GameIdOf(*game);
    // Converted for every entry that has one, so a bad "cur" before the match is an error too.
    const double cur = current->get<double>();
    if (entry_game != game_id) continue;
    snapshot.fps_game_id = entry_game;
    snapshot.fps_cur = cur;
    snapshot.fps_min = entry.value("min", 0.0);
    snapshot.fps_max = entry.value("max", 0.0);
    snapshot.fps_valid = true;
    return;
  }
}

void ReadGpu(const Json& document, PerfSnapshot& snapshot) {
  snapshot.gpu_valid = false;
  const Json* adapters = ArrayAt(document, "gpu");
  if (adapters == nullptr) return;
  for (const Json& adapter : *adapters) {
    if (!adapter.is_object() || !adapter.contains("gpu_mem_total")) continue;
    snapshot.gpu_name = adapter.value("name", std::string());
    snapshot.gpu = adapter.value("gpu", 0.0);
    snapshot.gpu_mem_used = adapter.value("gpu_mem_used", 0.0);
    snapshot.gpu_mem_total = adapter.value("gpu_mem_total", 0.0);
    snapshot.gpu_valid = true;
    return;
  }
}

void ReadMemory(const Json& document, PerfSnapshot& snapshot) {
  const auto memory = document.find("memory");
  if (memory == document.end()) return;
  snapshot.mem_free = memory->value("free", 0.0);
  snapshot.mem_total = memory->value("total", 0.0);
}

void ReadDisk(const Json& document, const std::string& game_drive, PerfSnapshot& snapshot) {
  snapshot.disk_valid = false;
  const Json* disks = ArrayAt(document, "diskio");
  if (disks == nullptr) return;
  for (const Json& disk : *disks) {
    std::string name = disk.value("name", std::string());
    if (name.empty() || game_drive.empty() || game_drive.size() > name.size()) continue;
    if (!ContainsIgnoringCase(name, game_drive)) continue;
    snapshot.disk_name = std::move(name);
    snapshot.disk_used = disk.value("used", 0.0);
    snapshot.disk_valid = true;
    return;
  }
}

// "font-color": six hexadecimal digits, optionally after "#". Anything else keeps `previous`.
uint32_t ColourOr(std::string text, uint32_t previous) {
  if (!text.empty() && text.front() == '#') text.erase(0, 1);
  const bool six_hex_digits = text.size() == 6 && std::all_of(text.begin(), text.end(), [](char c) {
                                return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                              });
  if (!six_hex_digits) return previous;
  unsigned r = 0, g = 0, b = 0;
  if (std::sscanf(text.c_str(), "%02x%02x%02x", &r, &g, &b) != 3) return previous;
  return (r << 16) | (g << 8) | b;
}

void ReadStyle(const Json& document, UiStyle& style) {
  const auto text = document.find("ui_style");
  if (text == document.end() || !text->is_string()) return;  // an object there is ignored
  const Json inner = ParseDocument(text->get_ref<const std::string&>());
  if (inner.is_discarded()) return;
  const int32_t percent = std::clamp(Int32Or(inner, "alpha", 0), 0, 100);
  style.alpha = (percent * 255 + 50) / 100;
  style.font_size = Int32Or(inner, "font-size", 14);
  style.pos = inner.value("pos", std::string("top-center"));
  style.direction = inner.value("direction", std::string("hor"));
  style.font_color = ColourOr(inner.value("font-color", std::string("ffffff")), style.font_color);
}

}  // namespace

bool ParseJson(std::string_view text, uint64_t game_id, const std::string& game_drive,
               PerfSnapshot& snapshot, UiStyle& style) {
  try {
    const Json document = ParseDocument(text);
    if (document.is_discarded()) return false;
    ReadFrameRate(document, game_id, snapshot);
    // The first lookup that needs an object: any other top level ends the parse here.
    snapshot.cpu = document.value("cpu", 0.0);
    ReadGpu(document, snapshot);
    ReadMemory(document, snapshot);
    ReadDisk(document, game_drive, snapshot);
    ReadStyle(document, style);
    return true;
  } catch (const std::exception& e) {
    LOG_ERROR("ParseJson exception: {}", e.what());
  } catch (...) {
    LOG_ERROR("ParseJson unknown exception");
  }
  return false;
}

}  // namespace corvane
