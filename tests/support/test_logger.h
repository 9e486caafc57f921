#pragma once
// A logger for tests: it admits the levels it is told to, keeps every record it receives and
// notes each call in an optional journal shared with other fakes, so that a test can check the
// order of records among other calls.
#include <string>
#include <vector>

#include "base/log/log_entry.h"
#include "base/log/log_record.h"
#include "base/log/logger.h"

namespace corvane::testing {

struct CapturedRecord {
  int level = 0;
  std::string file;  // the source path as the statement passed it
  int line = 0;
  std::string function;
  std::string text;
};

class TestLogger final : public base::ILogger {
 public:
  explicit TestLogger(std::vector<std::string>* journal = nullptr) : journal_(journal) {}

  struct InitArgs {
    bool timestamp_in_name = false;
    std::wstring app_name, prefix, subdir;
    bool has_log_dir = false;
    std::wstring log_dir;
    bool synchronous = true, encrypt = false, mem_log = false;
    uint64_t reserved_size = 0;
    uint32_t reserved_count = 0;
  };

  bool Init(bool timestamp_in_name, const wchar_t* app_name, const wchar_t* log_dir,
            const wchar_t* prefix, const wchar_t* subdir, bool synchronous, bool encrypt,
            bool mem_log, uint64_t reserved_size, uint32_t reserved_count) override {
    init_args = {timestamp_in_name,
                 app_name ? app_name : L"",
                 prefix ? prefix : L"",
                 subdir ? subdir : L"",
                 log_dir != nullptr,
                 log_dir ? log_dir : L"",
                 synchronous,
                 encrypt,
                 mem_log,
                 reserved_size,
                 reserved_count};
    Note("logger.Init");
    return true;
  }
  void Uninit() override { Note("logger.Uninit"); }
  void SetLevel(int level) override {
    level_set = level;
    Note("logger.SetLevel " + std::to_string(level));
  }
  bool QueryLevel(int* out) override {
    if (out != nullptr) *out = level_set;
    return true;
  }
  int GetLevel() override { return level_set; }
  bool IsEnabled(int level) override { return level >= lowest_enabled; }
  void Write(base::LogRecord& record) override {
    CapturedRecord captured{record.level(), record.file(), record.line(), record.function(),
                            record.TakeText()};
    Note(std::string("log ") + std::string(base::LevelFromNumber(captured.level).text) + " " +
         captured.text);
    records.push_back(std::move(captured));
  }
  bool DumpToFile(const std::wstring&) override { return false; }
  void Flush() override {}
  void FlushFile() override {}
  const std::wstring& GetLogDir() override { return init_args.log_dir; }

  // The texts of the records of `level`.
  std::vector<std::string> Texts(int level) const {
    std::vector<std::string> texts;
    for (const CapturedRecord& r : records) {
      if (r.level == level) texts.push_back(r.text);
    }
    return texts;
  }

  int lowest_enabled = 0;
  int level_set = 3;
  InitArgs init_args;
  std::vector<CapturedRecord> records;

 private:
  void Note(const std::string& event) {
    if (journal_ != nullptr) journal_->push_back(event);
  }
  std::vector<std::string>* journal_;
};

// Puts a logger in the process logger's place for the life of the scope.
class ScopedLoggerReplacement {
 public:
  explicit ScopedLoggerReplacement(base::ILogger* logger)
      : previous_(base::ReplaceLoggerForTesting(logger)) {}
  ~ScopedLoggerReplacement() { base::ReplaceLoggerForTesting(previous_); }
  ScopedLoggerReplacement(const ScopedLoggerReplacement&) = delete;
  ScopedLoggerReplacement& operator=(const ScopedLoggerReplacement&) = delete;

 private:
  base::ILogger* previous_;
};

}  // namespace corvane::testing
