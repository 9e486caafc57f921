// Test helper, not shipped: prints the executable's own path and the logger's default log
// directory (as UTF-8), then writes one record there: a plain text log, no memory log.
#include <cstdio>

#include "base/log/log_record.h"
#include "base/log/logger.h"
#include "base/os/file_system.h"
#include "base/strings/utf.h"

namespace {
constexpr char kLogSource[] = "tests/tools/exe_path_probe";
}  // namespace

int main() {
  std::printf("%s\n", base::WideToUtf8(base::os::ExecutablePath()).c_str());
  base::logger logger;
  if (!logger.Init(/*timestamp_in_name=*/false, L"probe", /*log_dir=*/nullptr, L"app", L"",
                   /*synchronous=*/true, /*encrypt=*/false, /*mem_log=*/false, 0, 0)) {
    std::fputs("exe_path_probe: Init failed\n", stderr);
    return 1;
  }
  std::printf("%s\n", base::WideToUtf8(logger.GetLogDir()).c_str());
  logger.SetLevel(base::kLogInfo);
  BASE_LOG_TO(&logger, kLogSource, base::kLogInfo, "probe record");
  logger.Uninit();
  return 0;
}
