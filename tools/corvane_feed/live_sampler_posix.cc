// Live figures from /proc: CPU time shares, available memory and each whole disk's I/O time.
#include <chrono>
#include <filesystem>
#include <map>

#include "tools/corvane_feed/live_figures.h"

namespace corvane::feed {

struct LiveSampler::State {
  CpuTimes cpu;
  std::map<std::string, uint64_t> io_ms;  // whole disks only
  std::chrono::steady_clock::time_point taken;
};

namespace {

// Whole disks, not partitions, loop devices or RAM disks.
std::map<std::string, uint64_t> ReadDiskTimes() {
  std::map<std::string, uint64_t> times;
  const auto text = ReadWholeFile("/proc/diskstats");
  if (!text) return times;
  for (const auto& [name, io_ms] : ParseDiskstats(*text)) {
    std::error_code error;
    if (name.rfind("loop", 0) == 0 || name.rfind("ram", 0) == 0 || name.rfind("zram", 0) == 0 ||
        !std::filesystem::exists("/sys/block/" + name, error)) {
      continue;
    }
    times[name] = io_ms;
  }
  return times;
}

}  // namespace

LiveSampler::LiveSampler() : state_(std::make_unique<State>()) {
  if (const auto text = ReadWholeFile("/proc/stat")) {
    state_->cpu = ParseProcStat(*text).value_or(CpuTimes{});
  }
  state_->io_ms = ReadDiskTimes();
  state_->taken = std::chrono::steady_clock::now();
}

LiveSampler::~LiveSampler() = default;

bool LiveSampler::Sample(MachineFigures* figures, std::string* error) {
  const auto stat = ReadWholeFile("/proc/stat");
  const auto cpu = stat ? ParseProcStat(*stat) : std::nullopt;
  const auto meminfo = ReadWholeFile("/proc/meminfo");
  const auto memory = meminfo ? ParseMeminfo(*meminfo) : std::nullopt;
  if (!cpu || !memory) {
    *error = "cannot read /proc/stat and /proc/meminfo";
    return false;
  }
  const auto now = std::chrono::steady_clock::now();
  const auto elapsed_ms = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now - state_->taken).count());

  figures->cpu_percent = Percent(cpu->busy - state_->cpu.busy, cpu->total - state_->cpu.total);
  figures->mem_free_mib = memory->first;
  figures->mem_total_mib = memory->second;
  figures->disks.clear();
  std::map<std::string, uint64_t> io_ms = ReadDiskTimes();
  for (const auto& [name, ms] : io_ms) {
    const auto previous = state_->io_ms.find(name);
    if (previous == state_->io_ms.end()) continue;  // appeared since the last sample
    figures->disks.push_back({name, Percent(ms - previous->second, elapsed_ms)});
  }
  AddDiskTotal(&figures->disks);

  state_->cpu = *cpu;
  state_->io_ms = std::move(io_ms);
  state_->taken = now;
  return true;
}

}  // namespace corvane::feed
