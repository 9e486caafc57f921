// What a log statement costs the thread that writes it. A statement whose level is off must
// cost a level test and nothing else: no formatting and no allocation. Prints the figures of
// Google Benchmark and, first, the heap allocations counted per statement.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "base/log/log_entry.h"
#include "base/log/log_record.h"
#include "bench/dropping_logger.h"
#include "base/log/logger.h"

namespace {

std::atomic<long> g_allocations{0};

constexpr char kLogSource[] = "bench/log_statement";

using corvane::DroppingLogger;

DroppingLogger g_logger;

void DisabledStatement(benchmark::State& state) {
  base::ReplaceLoggerForTesting(&g_logger);
  for (auto _ : state) LOG_DEBUG("frame {} took {} us", 1234, 5.5);
  base::ReplaceLoggerForTesting(nullptr);
}
BENCHMARK(DisabledStatement);

void EnabledStatement(benchmark::State& state) {
  base::ReplaceLoggerForTesting(&g_logger);
  for (auto _ : state) LOG_INFO("frame {} took {} us", 1234, 5.5);
  base::ReplaceLoggerForTesting(nullptr);
}
BENCHMARK(EnabledStatement);

void RecordLine(benchmark::State& state) {
  base::LogEntry entry;
  entry.time = base::LogTimestamp::Now();
  entry.thread_id = 4321;
  entry.file = "overlay_app";
  entry.line = 120;
  entry.message = "OverlayApp::Init hwnd=0000000000001A2B game_id=42";
  std::string out;
  for (auto _ : state) {
    out.clear();
    base::AppendLogLine(entry, out);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(RecordLine);

void Timestamp(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(base::LogTimestamp::Now());
}
BENCHMARK(Timestamp);

long AllocationsPerStatement(int level) {
  base::ReplaceLoggerForTesting(&g_logger);
  constexpr int kStatements = 1000;
  const long before = g_allocations.load();
  for (int i = 0; i < kStatements; ++i) BASE_LOG(level, "frame {} took {} us", i, 5.5);
  const long after = g_allocations.load();
  base::ReplaceLoggerForTesting(nullptr);
  return (after - before) / kStatements;
}

}  // namespace

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

int main(int argc, char** argv) {
  std::printf("heap allocations per statement: level off %ld, level on %ld\n",
              AllocationsPerStatement(base::kLogDebug), AllocationsPerStatement(base::kLogInfo));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
