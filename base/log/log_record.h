#pragma once
// The record one log statement fills, and the log statement itself.
//
// A statement tests the level before anything is formatted; an admitted statement formats its
// message with fmt "{}" placeholders into a LogRecord, which hands itself to the logger when
// it goes out of scope. A format error is dropped: the record keeps the text formatted so far.
//
// Every file that logs names its source path once, for the records it writes:
//   namespace { constexpr char kLogSource[] = "src/main"; }
//   LOG_NOTICE("Corvane starting, version={}", version);
#include <cstddef>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "base/log/log_level.h"
#include "base/log/logger.h"

namespace base {

class LogRecord {
 public:
  // Messages up to this many bytes are formatted on the statement's stack, without an
  // allocation; a longer one moves to the heap.
  static constexpr size_t kInlineText = 256;

  LogRecord(ILogger* logger, const char* file, int line, const char* function, int level)
      : logger_(logger), file_(file), line_(line), function_(function), level_(level) {}
  LogRecord(const LogRecord&) = delete;
  LogRecord& operator=(const LogRecord&) = delete;
  ~LogRecord() { logger_->Write(*this); }

  template <typename... Args>
  void Format(fmt::format_string<Args...> format, Args&&... args) {
    FormatRuntime(fmt::string_view(format), fmt::make_format_args(args...));
  }

  // For a format string that only exists at run time.
  void FormatRuntime(fmt::string_view format, fmt::format_args args) {
    try {
      fmt::vformat_to(fmt::appender(text_), format, args);
    } catch (const fmt::format_error&) {
      // Dropped: the record is delivered with what was formatted before the error.
    }
  }

  // The text, leaving the record's empty.
  std::string TakeText() {
    std::string taken(text_.data(), text_.size());
    text_.clear();
    return taken;
  }
  void DiscardText() { text_.clear(); }
  std::string_view text() const { return {text_.data(), text_.size()}; }
  ILogger* logger() const { return logger_; }
  const char* file() const { return file_; }
  int line() const { return line_; }
  const char* function() const { return function_; }
  int level() const { return level_; }

 private:
  fmt::basic_memory_buffer<char, kInlineText> text_;
  ILogger* logger_;
  const char* file_;
  int line_;
  const char* function_;
  int level_;
};

}  // namespace base

// Writes one record through `logger_expr`. Arguments are not evaluated when the level is off.
#define BASE_LOG_TO(logger_expr, source, level, ...)                                   \
  do {                                                                                 \
    ::base::ILogger* base_log_target = (logger_expr);                                  \
    if (base_log_target != nullptr && base_log_target->IsEnabled(level)) {             \
      ::base::LogRecord base_log_record(base_log_target, source, __LINE__, "", level); \
      base_log_record.Format(__VA_ARGS__);                                             \
    }                                                                                  \
  } while (false)

#define BASE_LOG(level, ...) BASE_LOG_TO(::base::GetLogger(), kLogSource, level, __VA_ARGS__)

#define LOG_DEBUG(...) BASE_LOG(::base::kLogDebug, __VA_ARGS__)
#define LOG_TRACE(...) BASE_LOG(::base::kLogTrace, __VA_ARGS__)
#define LOG_INFO(...) BASE_LOG(::base::kLogInfo, __VA_ARGS__)
#define LOG_NOTICE(...) BASE_LOG(::base::kLogNotice, __VA_ARGS__)
#define LOG_WARNING(...) BASE_LOG(::base::kLogWarning, __VA_ARGS__)
#define LOG_ERROR(...) BASE_LOG(::base::kLogError, __VA_ARGS__)
#define LOG_FATAL(...) BASE_LOG(::base::kLogFatal, __VA_ARGS__)
