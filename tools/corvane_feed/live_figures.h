#pragma once
// This machine's figures for live publication, and the document made of them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvane::feed {

struct DiskBusy {
  std::string name;  // a drive such as "C:" on Windows, a device such as "sda" elsewhere
  double busy_percent = 0.0;
};

struct MachineFigures {
  double cpu_percent = 0.0;
  double mem_free_mib = 0.0;
  double mem_total_mib = 0.0;
  std::vector<DiskBusy> disks;  // "_Total" first when there is any disk
};

// A game's frame pacing as the live document publishes it: the newest frame times and the
// lows computed from all those the game gave.
inline constexpr size_t kPublishedFrameTimes = 200;

struct FrameRate {
  uint64_t game_id = 0;
  double cur = 0.0, min = 0.0, max = 0.0;
  std::vector<double> frame_ms;  // the game's recent frame times, oldest first; may be empty
};

// The 1% and 0.1% lows of frame times: 1000 divided by the 99th and the 99.9th percentile
// frame time (nearest rank: the smallest time that at least that share of the frames does not
// exceed). Nothing for no frames, or where that time is 0.
struct FrameLows {
  std::optional<double> low1, low01;
};
FrameLows ComputeFrameLows(const std::vector<double>& frame_ms);

// Samples the machine; CPU and disk figures are averages since the previous sample (the
// first sample is taken on construction). Implemented per platform.
class LiveSampler {
 public:
  LiveSampler();
  ~LiveSampler();
  LiveSampler(const LiveSampler&) = delete;
  LiveSampler& operator=(const LiveSampler&) = delete;

  bool Sample(MachineFigures* figures, std::string* error);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The share of `busy` in `total` as a percentage, 0..100 (0 when no time passed).
double Percent(uint64_t busy, uint64_t total);

// Appends a "_Total" entry, the average of the disks, in front of them.
void AddDiskTotal(std::vector<DiskBusy>* disks);

// The document with the keys the overlay reads, figures rounded to one decimal.
std::string BuildLiveDocument(const MachineFigures& figures, const std::optional<FrameRate>& fps,
                              const std::string& style = {});

// What an fps file holds: the frame rate, then optionally the game's recent frame times in
// milliseconds, oldest first, all separated by white space. Nothing when any of it is not a
// number, or a frame time is negative.
struct FrameRateFile {
  double rate = 0.0;
  std::vector<double> frame_ms;
};
std::optional<FrameRateFile> ParseFrameRateFile(const std::string& text);

// The whole content of a file; nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// /proc readings (Linux).
struct CpuTimes {
  uint64_t busy = 0, total = 0;
};
std::optional<CpuTimes> ParseProcStat(const std::string& text);
// MemAvailable and MemTotal, in MiB.
std::optional<std::pair<double, double>> ParseMeminfo(const std::string& text);
// Each device's milliseconds spent doing I/O.
std::vector<std::pair<std::string, uint64_t>> ParseDiskstats(const std::string& text);

}  // namespace corvane::feed
