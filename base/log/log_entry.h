#pragma once
// The logger's own copy of one record, and the text of its line.
#include <cstdint>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "base/log/log_level.h"
#include "base/log/log_time.h"

namespace base {

class LogRecord;
struct LogLineHead;

struct LogEntry {
  LogTimestamp time;
  uint32_t thread_id = 0;
  std::string file;  // base name of the record's source path
  int32_t line = 0;
  std::string function;
  LogLevel level = LevelFromNumber(kLogInfo);
  std::string message;

  // Copies everything but the text from `record`; the caller moves the text in.
  static LogEntry FromRecord(const LogRecord& record, LogTimestamp time, uint32_t thread_id);
};

// The part of `path` after its last '/', '\' or '('; the whole path when it has none.
std::string_view FileBaseName(std::string_view path);

// The fields of a line before its message, borrowed from a record or an entry.
struct LogLineHead {
  LogTimestamp time;
  uint32_t thread_id = 0;
  std::string_view level;
  std::string_view file;
  int32_t line = 0;
  std::string_view function;
};

// A record's line while the logging thread builds it, on its stack: lines up to this size
// need no allocation.
using LogLineBuffer = fmt::basic_memory_buffer<char, 512>;

// Appends "\n[time][tid][LEVEL][file(line)]function\t" to `out`. The calendar part of the
// time is kept per thread and made again only when the second changes.
void AppendLogLineHead(const LogLineHead& head, LogLineBuffer& out);
void AppendLogLineHead(const LogLineHead& head, std::string& out);

// Appends "\n[time][tid][LEVEL][file(line)]function\tmessage" to `out`.
void AppendLogLine(const LogEntry& entry, std::string& out);
std::string FormatLogLine(const LogEntry& entry);

}  // namespace base
