#include "tools/corvane_feed/live_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "src/data/perf_snapshot.h"

namespace corvane::feed {
namespace {

double OneDecimal(double value) {
  return std::round(value * 10.0) / 10.0;
}

double TwoDecimals(double value) {
  return std::round(value * 100.0) / 100.0;
}

// The frame-pacing keys of the game's entry: the newest frame times (each held to what the
// overlay takes) and the lows that the overlay takes, computed from every frame time given.
void AddFramePacing(const FrameRate& fps, nlohmann::json& entry) {
  if (fps.frame_ms.empty()) return;
  const FrameLows lows = ComputeFrameLows(fps.frame_ms);
  if (lows.low1 && *lows.low1 <= corvane::kHighestFrameRate) entry["low1"] = OneDecimal(*lows.low1);
  if (lows.low01 && *lows.low01 <= corvane::kHighestFrameRate) {
    entry["low01"] = OneDecimal(*lows.low01);
  }
  nlohmann::json times = nlohmann::json::array();
  const size_t published = std::min(fps.frame_ms.size(), kPublishedFrameTimes);
  for (size_t i = fps.frame_ms.size() - published; i < fps.frame_ms.size(); ++i) {
    times.push_back(TwoDecimals(std::min(fps.frame_ms[i], corvane::kLongestFrameMs)));
  }
  entry["frame_ms"] = std::move(times);
}

// The time that `share` of the sorted times do not exceed, by nearest rank.
double NearestRank(const std::vector<double>& sorted, double share) {
  const auto rank = static_cast<size_t>(std::ceil(share * static_cast<double>(sorted.size())));
  return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

}  // namespace

double Percent(uint64_t busy, uint64_t total) {
  if (total == 0) return 0.0;
  const double share = 100.0 * static_cast<double>(busy) / static_cast<double>(total);
  return share < 0.0 ? 0.0 : share > 100.0 ? 100.0 : share;
}

void AddDiskTotal(std::vector<DiskBusy>* disks) {
  if (disks->empty()) return;
  double sum = 0.0;
  for (const DiskBusy& disk : *disks) sum += disk.busy_percent;
  disks->insert(disks->begin(), DiskBusy{"_Total", sum / static_cast<double>(disks->size())});
}

std::string BuildLiveDocument(const MachineFigures& figures, const std::optional<FrameRate>& fps,
                              const std::string& style) {
  nlohmann::json document = nlohmann::json::object();
  if (fps) {
    nlohmann::json entry = {{"game_id", fps->game_id},
                            {"cur", OneDecimal(fps->cur)},
                            {"min", OneDecimal(fps->min)},
                            {"max", OneDecimal(fps->max)}};
    AddFramePacing(*fps, entry);
    document["fps"] = nlohmann::json::array({std::move(entry)});
  }
  document["cpu"] = OneDecimal(figures.cpu_percent);
  document["memory"] = {{"free", std::round(figures.mem_free_mib)},
                        {"total", std::round(figures.mem_total_mib)}};
  nlohmann::json disks = nlohmann::json::array();
  for (const DiskBusy& disk : figures.disks) {
    disks.push_back({{"name", disk.name}, {"used", OneDecimal(disk.busy_percent)}});
  }
  document["diskio"] = std::move(disks);
  // The overlay takes the style as a JSON text inside the document, not as an object.
  if (!style.empty()) document["ui_style"] = style;
  return document.dump();
}

FrameLows ComputeFrameLows(const std::vector<double>& frame_ms) {
  FrameLows lows;
  if (frame_ms.empty()) return lows;
  std::vector<double> sorted = frame_ms;
  std::sort(sorted.begin(), sorted.end());
  const auto low = [&sorted](double share) -> std::optional<double> {
    const double time = NearestRank(sorted, share);
    if (!(time > 0.0)) return std::nullopt;
    return 1000.0 / time;
  };
  lows.low1 = low(0.99);
  lows.low01 = low(0.999);
  return lows;
}

std::optional<FrameRateFile> ParseFrameRateFile(const std::string& text) {
  FrameRateFile file;
  const char* next = text.c_str();
  bool first = true;
  for (;;) {
    while (std::isspace(static_cast<unsigned char>(*next))) ++next;
    if (*next == '\0') break;
    char* end = nullptr;
    const double value = std::strtod(next, &end);
    // Each number must end at white space or the end of the text: "60fps" is not one.
    if (end == next || !std::isfinite(value) ||
        (*end != '\0' && !std::isspace(static_cast<unsigned char>(*end)))) {
      return std::nullopt;
    }
    if (first) {
      file.rate = value;
      first = false;
    } else {
      if (value < 0.0) return std::nullopt;
      file.frame_ms.push_back(value);
    }
    next = end;
  }
  if (first) return std::nullopt;
  return file;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream content;
  content << file.rdbuf();
  if (file.bad()) return std::nullopt;
  return std::move(content).str();
}

std::optional<CpuTimes> ParseProcStat(const std::string& text) {
  std::istringstream in(text);
  std::string label;
  in >> label;
  if (label != "cpu") return std::nullopt;
  // user nice system idle iowait irq softirq steal (guest time is inside user already)
  uint64_t fields[8] = {};
  for (uint64_t& field : fields) {
    if (!(in >> field)) return std::nullopt;
  }
  CpuTimes times;
  for (uint64_t field : fields) times.total += field;
  times.busy = times.total - fields[3] - fields[4];
  return times;
}

std::optional<std::pair<double, double>> ParseMeminfo(const std::string& text) {
  std::istringstream in(text);
  std::string key;
  double value = 0;
  std::string unit;
  std::optional<double> available, total;
  while (in >> key >> value >> unit) {
    if (key == "MemAvailable:") available = value / 1024.0;
    if (key == "MemTotal:") total = value / 1024.0;
  }
  if (!available || !total) return std::nullopt;
  return std::make_pair(*available, *total);
}

std::vector<std::pair<std::string, uint64_t>> ParseDiskstats(const std::string& text) {
  std::vector<std::pair<std::string, uint64_t>> devices;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    std::string major, minor, name;
    uint64_t fields[10] = {};  // reads .. in flight, then the I/O time
    in >> major >> minor >> name;
    bool complete = !name.empty();
    for (uint64_t& field : fields) complete = complete && static_cast<bool>(in >> field);
    if (complete) devices.emplace_back(name, fields[9]);
  }
  return devices;
}

}  // namespace corvane::feed
