// What a data refresh costs: ParseJson of a 1 KiB and a 4 KiB document beside a bare parse of
// the same text by the JSON library, and one whole SharedMemoryReader::Read of a real block.
// Prints Google Benchmark's figures, then the ratios (target: ParseJson of 4 KiB within 1.1x
// of the bare parse).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "src/data/parse_json.h"
#include "src/data/perf_feed_writer.h"
#include "src/data/shared_memory_reader.h"

namespace {

// A document in the host's shape, grown with more games and disks to about `size` bytes.
std::string Document(size_t size) {
  std::string games;
  std::string disks = R"({"name": "_Total", "used": 3.5})";
  for (int i = 0; games.size() + disks.size() + 600 < size; ++i) {
    games += R"({"game_id": )" + std::to_string(20000 + i) +
             R"(, "cur": 59.6, "min": 41.0, "max": 60.2}, )";
    disks += R"(, {"name": "Disk )" + std::to_string(i) + R"(", "used": 1.2})";
  }
  std::string document = R"({"fps": [)" + games +
                         R"({"game_id": 12345, "cur": 59.6, "min": 41.0, "max": 60.2}], "cpu": 23.5,
    "gpu": [{"name": "Radeon RX 6600", "gpu": 41.0, "gpu_mem_used": 2147483648, "gpu_mem_total": 8589934592}],
    "memory": {"free": 9216, "total": 16384}, "diskio": [)" +
                         disks + R"(, {"name": "C:", "used": 1.2}],
    "ui_style": "{\"alpha\": 80, \"font-size\": 16, \"pos\": \"top-center\", \"direction\": \"hor\", \"font-color\": \"#00ff80\"}"})";
  if (document.size() < size) document.append(size - document.size(), ' ');
  return document;
}

void BM_ParseJson(benchmark::State& state) {
  const std::string text = Document(static_cast<size_t>(state.range(0)));
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  for (auto _ : state) {
    benchmark::DoNotOptimize(corvane::ParseJson(text, 12345, "C:", snapshot, style));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseJson)->Arg(1024)->Arg(4096);

void BM_BareParse(benchmark::State& state) {
  const std::string text = Document(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(nlohmann::json::parse(text, nullptr, false, false));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_BareParse)->Arg(1024)->Arg(4096);

void BM_Read(benchmark::State& state) {
  const std::string name = "corvane-feed-bench-" + std::to_string(getpid());
  const std::string text = Document(4096);
  corvane::PerfFeedWriter writer(name);
  std::string error;
  if (!writer.Create(&error) || !writer.Publish(text, true, 0, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  corvane::SharedMemoryReader reader(name);
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  reader.Open();
  for (auto _ : state) {
    benchmark::DoNotOptimize(reader.Read(12345, "C:", snapshot, style));
  }
  reader.Close();
  corvane::PerfFeedWriter::Remove(name, nullptr);
}
BENCHMARK(BM_Read);

// Keeps each run's CPU time per iteration for the ratios (steadier than wall time on a busy
// machine).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) nanoseconds_[run.benchmark_name()] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    for (const char* size : {"1024", "4096"}) {
      const double parse = At(std::string("BM_ParseJson/") + size);
      const double bare = At(std::string("BM_BareParse/") + size);
      std::printf("ParseJson / bare parse, %s bytes: %.0f ns / %.0f ns = %.3fx\n", size, parse,
                  bare, bare > 0 ? parse / bare : 0.0);
    }
    const double read = At("BM_Read");
    const double parse = At("BM_ParseJson/4096");
    std::printf("Read (4096 bytes) / ParseJson 4096: %.0f ns / %.0f ns = %.3fx\n", read, parse,
                parse > 0 ? read / parse : 0.0);
  }

 private:
  double At(const std::string& name) const {
    const auto it = nanoseconds_.find(name);
    return it == nanoseconds_.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> nanoseconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
