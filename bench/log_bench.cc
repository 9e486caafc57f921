// Figures of the logging library, all in one run on one machine, with the program's settings
// (worker, encrypt, memory log on, file level INFO) and records of about 60 characters with
// two integer arguments at INFO:
//   - the encoder alone: TEA-16, Encode with and without compression, and sync-flushed deflate
//     alone (zlib compressing the same record lines with a sync flush per record);
//   - throughput of 1,000,000 records from 1 and from 2 threads, timed until every record is
//     in the file, beside the deflate bound and spdlog's asynchronous file logger;
//   - the caller's cost per call in bursts of 1,000 records that start with the worker idle;
//   - the ratios of the targets, last.
// Nothing asserts on the figures.
#include <spdlog/async.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/log/log_crypt.h"
#include "base/log/log_entry.h"
#include "base/log/log_record.h"
#include "base/log/logger.h"
#include "base/log/tea16.h"

namespace {

constexpr char kLogSource[] = "src/app/overlay_app";
constexpr int kRecords = 1000000;
constexpr int kBurst = 1000;
constexpr int kBursts = 100;
constexpr auto kIdleGap = std::chrono::milliseconds(10);

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The fastest of a few runs: the figure least disturbed by other work on the machine.
double Fastest(int runs, const std::function<double()>& run) {
  double best = run();
  for (int i = 1; i < runs; ++i) best = std::min(best, run());
  return best;
}

struct TempDir {
  std::filesystem::path path;
  TempDir() {
    char pattern[] = "/tmp/corvane-log-bench-XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::wstring Wide() const { return path.wstring(); }
};

// The record lines the text log's worker formats, one per record.
std::vector<std::string> MakeRecordLines(int count) {
  std::vector<std::string> lines(count);
  base::LogEntry entry;
  entry.time = base::LogTimestamp::Now();
  entry.thread_id = 4321;
  entry.file = "overlay_app";
  entry.line = 412;
  for (int i = 0; i < count; ++i) {
    entry.time.nanoseconds = static_cast<int32_t>(i * int64_t{1000} % 1000000000);
    entry.message = fmt::format("frame {} composed in {} us, rows and box placed again", i,
                                static_cast<int>(i * int64_t{7919} % 20000));
    base::AppendLogLine(entry, lines[i]);
  }
  return lines;
}

size_t TotalSize(const std::vector<std::string>& lines) {
  size_t total = 0;
  for (const auto& l : lines) total += l.size();
  return total;
}

// zlib alone, as the encoder drives it: default level, a sync flush per record.
double DeflateAlone(const std::vector<std::string>& lines, size_t* compressed) {
  z_stream z{};
  deflateInit(&z, Z_DEFAULT_COMPRESSION);
  std::string out(65536, '\0');
  size_t produced = 0;
  const auto start = Clock::now();
  for (const auto& line : lines) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(line.data()));
    z.avail_in = static_cast<uInt>(line.size());
    do {
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, Z_SYNC_FLUSH);
      produced += out.size() - z.avail_out;
    } while (z.avail_out == 0);
  }
  const double seconds = SecondsSince(start);
  deflateEnd(&z);
  *compressed = produced;
  return seconds;
}

double EncodeAll(const std::vector<std::string>& lines, bool compress) {
  base::log_crypt::LogCrypt crypt(0, true, compress);
  std::string out;
  size_t produced = 0;
  const auto start = Clock::now();
  for (const auto& line : lines) {
    crypt.Encode(line, out, false);
    produced += out.size();
  }
  crypt.Encode("", out, true);
  const double seconds = SecondsSince(start);
  if (produced == 0) std::puts("(the encoder produced nothing)");
  return seconds;
}

double Tea16Alone(size_t bytes) {
  const uint8_t secret[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const auto key = base::log_crypt::TeaKeyFromBytes(secret);
  std::vector<uint8_t> buffer(1 << 20, 0x5A);
  const auto start = Clock::now();
  for (size_t done = 0; done < bytes; done += buffer.size()) {
    base::log_crypt::Tea16EncipherBlocks(key, buffer.data(), buffer.size() / 8);
  }
  const double seconds = SecondsSince(start);
  if (buffer[0] == 0x5A && buffer[1] == 0x5A) std::puts("(unchanged)");
  return seconds;
}

void LogFrame(base::ILogger* logger, int i) {
  BASE_LOG_TO(logger, kLogSource, base::kLogInfo,
              "frame {} composed in {} us, rows and box placed again", i,
              static_cast<int>(i * int64_t{7919} % 20000));
}

// Ours: Init, then the records from `threads` threads, until Uninit has written them all.
double OurThroughput(int threads) {
  TempDir dir;
  base::logger logger;
  logger.Init(true, L"corvane", dir.Wide().c_str(), L"app", L"", false, true, true, 10485760, 48);
  logger.SetLevel(base::kLogInfo);
  const auto start = Clock::now();
  std::vector<std::thread> writers;
  for (int t = 0; t < threads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = t; i < kRecords; i += threads) LogFrame(&logger, i);
    });
  }
  for (auto& w : writers) w.join();
  logger.Uninit();
  return SecondsSince(start);
}

std::shared_ptr<spdlog::logger> MakeSpdlog(const TempDir& dir) {
  spdlog::init_thread_pool(8192, 1);
  auto log = spdlog::create_async<spdlog::sinks::basic_file_sink_mt>(
      "bench", (dir.path / "spdlog.log").string(), true);
  log->set_pattern("[%Y-%m-%d %H:%M:%S.%e][%t][%l][overlay_app(412)]\t%v");
  return log;
}

double SpdlogThroughput(int threads) {
  TempDir dir;
  auto log = MakeSpdlog(dir);
  const auto start = Clock::now();
  std::vector<std::thread> writers;
  for (int t = 0; t < threads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = t; i < kRecords; i += threads) {
        log->info("frame {} composed in {} us, rows and box placed again", i,
                  static_cast<int>(i * int64_t{7919} % 20000));
      }
    });
  }
  for (auto& w : writers) w.join();
  log.reset();
  spdlog::shutdown();  // drains the queue, flushes and closes the file
  return SecondsSince(start);
}

struct BurstCost {
  double median_ns = 0;
  double mean_ns = 0;
};

BurstCost Bursts(const std::function<void(int)>& one_call) {
  std::vector<double> per_call;
  for (int b = 0; b < kBursts; ++b) {
    std::this_thread::sleep_for(kIdleGap);  // the worker has written the previous burst
    const auto start = Clock::now();
    for (int i = 0; i < kBurst; ++i) one_call(b * kBurst + i);
    per_call.push_back(SecondsSince(start) * 1e9 / kBurst);
  }
  BurstCost cost;
  for (double v : per_call) cost.mean_ns += v / per_call.size();
  std::sort(per_call.begin(), per_call.end());
  cost.median_ns = per_call[per_call.size() / 2];
  return cost;
}

BurstCost OurCallerCost() {
  TempDir dir;
  base::logger logger;
  logger.Init(true, L"corvane", dir.Wide().c_str(), L"app", L"", false, true, true, 10485760, 48);
  logger.SetLevel(base::kLogInfo);
  for (int i = 0; i < kBurst; ++i) LogFrame(&logger, i);  // warm: buffers and spare entries
  const BurstCost cost = Bursts([&](int i) { LogFrame(&logger, i); });
  logger.Uninit();
  return cost;
}

BurstCost SpdlogCallerCost() {
  TempDir dir;
  auto log = MakeSpdlog(dir);
  for (int i = 0; i < kBurst; ++i) log->info("warm {} {}", i, i);
  const BurstCost cost = Bursts([&](int i) {
    log->info("frame {} composed in {} us, rows and box placed again", i,
              static_cast<int>(i * int64_t{7919} % 20000));
  });
  log.reset();
  spdlog::shutdown();
  return cost;
}

double MegabytesPerSecond(size_t bytes, double seconds) {
  return bytes / seconds / 1e6;
}

}  // namespace

int main() {
  const auto lines = MakeRecordLines(kRecords);
  const size_t bytes = TotalSize(lines);
  std::printf("records: %d lines, %.1f bytes per line, %.1f MB in all\n\n", kRecords,
              static_cast<double>(bytes) / kRecords, bytes / 1e6);

  size_t compressed = 0;
  const double deflate_s = Fastest(3, [&] { return DeflateAlone(lines, &compressed); });
  const double encode_z_s = Fastest(3, [&] { return EncodeAll(lines, true); });
  const double encode_s = Fastest(3, [&] { return EncodeAll(lines, false); });
  const double tea_s = Fastest(3, [&] { return Tea16Alone(bytes); });
  std::puts("encoder alone (MB/s of record text in)");
  std::printf("  TEA-16                               %8.1f MB/s\n",
              MegabytesPerSecond(bytes, tea_s));
  std::printf("  Encode, encrypt only                 %8.1f MB/s\n",
              MegabytesPerSecond(bytes, encode_s));
  std::printf("  Encode, compress + encrypt           %8.1f MB/s\n",
              MegabytesPerSecond(bytes, encode_z_s));
  std::printf("  deflate alone, sync flush per record %8.1f MB/s (%.1f MB out, %.2fx smaller)\n\n",
              MegabytesPerSecond(bytes, deflate_s), compressed / 1e6,
              static_cast<double>(bytes) / compressed);

  const double ours_1 = Fastest(2, [] { return OurThroughput(1); });
  const double ours_2 = Fastest(2, [] { return OurThroughput(2); });
  const double spd_1 = Fastest(2, [] { return SpdlogThroughput(1); });
  const double spd_2 = Fastest(2, [] { return SpdlogThroughput(2); });
  std::puts("throughput, 1,000,000 records until all are in the file (records/s)");
  std::printf("  deflate bound                        %10.0f\n", kRecords / deflate_s);
  std::printf("  ours, 1 thread                       %10.0f\n", kRecords / ours_1);
  std::printf("  ours, 2 threads                      %10.0f\n", kRecords / ours_2);
  std::printf("  spdlog async, 1 thread               %10.0f\n", kRecords / spd_1);
  std::printf("  spdlog async, 2 threads              %10.0f\n\n", kRecords / spd_2);

  const BurstCost ours = OurCallerCost();
  const BurstCost spd = SpdlogCallerCost();
  std::printf("caller's cost, bursts of %d with the worker idle at the start (ns per call)\n",
              kBurst);
  std::printf("  ours                 median %7.1f   mean %7.1f\n", ours.median_ns, ours.mean_ns);
  std::printf("  spdlog async         median %7.1f   mean %7.1f\n\n", spd.median_ns, spd.mean_ns);

  std::puts("ratios (target)");
  std::printf("  caller's cost, ours / spdlog async (median)      %5.2f  (<= 1.0)\n",
              ours.median_ns / spd.median_ns);
  std::printf("  text-log throughput / deflate bound, 1 thread    %5.2f  (>= 0.9)\n",
              deflate_s / ours_1);
  std::printf("  text-log throughput / deflate bound, 2 threads   %5.2f  (>= 0.9)\n",
              deflate_s / ours_2);
  std::printf("  Encode (compress + encrypt) / deflate alone time %5.2f  (<= 1.10)\n",
              encode_z_s / deflate_s);
  return 0;
}
