// Test helper, not shipped: one real logging run with the program's settings (worker,
// encrypt, memory log on, file level INFO) into a directory, for the tools to read back.
//   log_run DEV_PUBLIC_KEY_FILE DIR COUNT [PAUSE_AFTER...]
// Writes COUNT INFO records "run record <i> of <COUNT>", one TRACE record (memory log only)
// after every tenth, and a last WARNING "last record of the run". After the record of each
// PAUSE_AFTER number it makes the file DIR/paused and waits until the file is gone, so that a
// test can read the memory log of a running writer, or change the process's limits from
// outside. Exits 77 when the build's reader key is not the given development key (so nothing
// written could be read with it).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>

#include "base/log/log_crypt.h"
#include "base/log/log_reader.h"
#include "base/log/log_record.h"
#include "base/log/logger.h"

namespace {
constexpr char kLogSource[] = "tests/tools/log_run";
constexpr int kSkipped = 77;
}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: log_run DEV_PUBLIC_KEY_FILE DIR COUNT [PAUSE_AFTER...]\n", stderr);
    return 2;
  }
  std::ifstream key_file(argv[1], std::ios::binary);
  const auto dev_key = base::log_reader::ParsePublicKey(
      std::string(std::istreambuf_iterator<char>(key_file), std::istreambuf_iterator<char>()));
  if (!dev_key || *dev_key != base::log_crypt::BuiltInReaderKeys()[0]) {
    std::fputs("log_run: this build's reader key is not the development key\n", stderr);
    return kSkipped;
  }
  const std::string dir_text = argv[2];
  const std::wstring dir(dir_text.begin(), dir_text.end());  // test paths are ASCII
  const unsigned long count = std::stoul(argv[3]);
  std::set<unsigned long> pauses;
  for (int i = 4; i < argc; ++i) pauses.insert(std::stoul(argv[i]));
  const std::filesystem::path pause_flag = std::filesystem::path(dir_text) / "paused";

  base::logger logger;
  if (!logger.Init(/*timestamp_in_name=*/true, L"corvane", dir.c_str(), L"app", L"",
                   /*synchronous=*/false, /*encrypt=*/true, /*mem_log=*/true, 10485760, 48)) {
    std::fputs("log_run: Init failed\n", stderr);
    return 1;
  }
  logger.SetLevel(base::kLogInfo);
  for (unsigned long i = 0; i < count; ++i) {
    BASE_LOG_TO(&logger, kLogSource, base::kLogInfo, "run record {} of {}", i, count);
    if (i % 10 == 9) BASE_LOG_TO(&logger, kLogSource, base::kLogTrace, "trace after {}", i);
    if (pauses.contains(i)) {
      std::ofstream{pause_flag};
      while (std::filesystem::exists(pause_flag)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
  }
  BASE_LOG_TO(&logger, kLogSource, base::kLogWarning, "last record of the run");
  logger.Uninit();
  return 0;
}
