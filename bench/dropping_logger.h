#pragma once
// A logger for benchmarks: admits INFO and above and drops each record it receives, so that
// what is timed is the log statement itself, before any logger's Write.
#include <string>

#include "base/log/log_level.h"
#include "base/log/log_record.h"
#include "base/log/logger.h"

namespace corvane {

class DroppingLogger final : public base::ILogger {
 public:
  bool Init(bool, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, bool, bool, bool,
            uint64_t, uint32_t) override {
    return true;
  }
  void Uninit() override {}
  void SetLevel(int) override {}
  bool QueryLevel(int*) override { return true; }
  int GetLevel() override { return base::kLogInfo; }
  bool IsEnabled(int level) override { return level >= base::kLogInfo; }
  void Write(base::LogRecord& record) override { record.DiscardText(); }
  bool DumpToFile(const std::wstring&) override { return false; }
  void Flush() override {}
  void FlushFile() override {}
  const std::wstring& GetLogDir() override { return dir_; }

 private:
  std::wstring dir_;
};

}  // namespace corvane
