#include "base/log/log_entry.h"

#include <iterator>

#include <fmt/format.h>

#include "base/log/log_record.h"

namespace base {

LogEntry LogEntry::FromRecord(const LogRecord& record, LogTimestamp time, uint32_t thread_id) {
  LogEntry entry;
  entry.time = time;
  entry.thread_id = thread_id;
  entry.file = std::string(FileBaseName(record.file() != nullptr ? record.file() : ""));
  entry.line = record.line();
  entry.function = record.function() != nullptr ? record.function() : "";
  entry.level = LevelFromNumber(record.level());
  return entry;
}

std::string_view FileBaseName(std::string_view path) {
  const size_t cut = path.find_last_of("/\\(");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

void AppendLogLine(const LogEntry& entry, std::string& out) {
  fmt::format_to(std::back_inserter(out), "\n[{}][{}][{}][{}({})]{}\t", entry.time, entry.thread_id,
                 entry.level.text, entry.file, entry.line, entry.function);
  out += entry.message;
}

std::string FormatLogLine(const LogEntry& entry) {
  std::string out;
  AppendLogLine(entry, out);
  return out;
}

}  // namespace base
