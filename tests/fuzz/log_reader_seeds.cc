// Writes seeds for log_reader_fuzzer: real logs of both kinds, written by the program's own
// logger against its built-in reader key, enciphered and not: the text log and a dump of the
// memory log (the mapped file itself is 3 MiB, more than the fuzzer's inputs).
//   log_reader_seeds OUT_DIR
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/log/log_record.h"
#include "base/log/logger.h"

namespace {
constexpr char kLogSource[] = "tests/fuzz/log_reader_seeds";
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: log_reader_seeds OUT_DIR\n", stderr);
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path out = argv[1];
  for (const bool encrypt : {true, false}) {
    const fs::path dir = out / (encrypt ? "run-enciphered" : "run-plain");
    fs::remove_all(dir);
    {
      base::logger logger;
      if (!logger.Init(true, L"corvane", dir.wstring().c_str(), L"app", L"", true, encrypt, true, 0,
                       0)) {
        return 1;
      }
      logger.SetLevel(base::kLogInfo);
      for (int i = 0; i < 24; ++i) {
        BASE_LOG_TO(&logger, kLogSource, i % 3 == 0 ? base::kLogTrace : base::kLogWarning,
                    "seed record {} \x1b[1m{}\t{}", i, std::string(static_cast<size_t>(i), 'z'),
                    "tail  ");
      }
      if (!logger.DumpToFile((dir / "memory.dump").wstring())) return 1;
      logger.Uninit();
    }
    const std::string kind = encrypt ? "enciphered" : "plain";
    for (const auto& item : fs::directory_iterator(dir)) {
      const std::string name = item.path().filename().string();
      if (name.starts_with("app.corvane.2"))
        fs::copy_file(item.path(), out / (kind + ".text.log"),
                      fs::copy_options::overwrite_existing);
      if (name == "memory.dump")
        fs::copy_file(item.path(), out / (kind + ".memory.dump"),
                      fs::copy_options::overwrite_existing);
    }
    fs::remove_all(dir);
  }
  return 0;
}
