#include "base/log/log_entry.h"

#include <algorithm>
#include <cstring>
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

void LogEntry::Assign(const LogLineHead& head, const LogLevel& row, std::string_view text) {
  time = head.time;
  thread_id = head.thread_id;
  file.assign(head.file);
  line = head.line;
  function.assign(head.function);
  level = row;
  message.assign(text);
}

std::string_view FileBaseName(std::string_view path) {
  const size_t cut = path.find_last_of("/\\(");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

namespace {

// "YYYY-MM-DD hh:mm:ss" of the last second this thread formatted. Plain data: thread-local
// objects with destructors are not safe at thread exit in every C run-time this builds for.
struct CalendarCache {
  int64_t seconds = -1;
  size_t size = 0;
  char text[64];
};

void AppendDecimal(int64_t value, std::string& out) {
  const fmt::format_int digits(value);
  out.append(digits.data(), digits.size());
}

}  // namespace

void AppendLogLineHead(const LogLineHead& head, std::string& out) {
  thread_local CalendarCache calendar;
  if (calendar.seconds != head.time.seconds) {
    // The default pattern up to its fraction, which follows below.
    const std::string text = FormatLogTime<char>({head.time.seconds, 0}, "%Y-%m-%d %H:%M:%S");
    calendar.size = std::min(text.size(), sizeof(calendar.text));
    std::memcpy(calendar.text, text.data(), calendar.size);
    calendar.seconds = head.time.seconds;
  }
  const int32_t millis = head.time.nanoseconds / 1000000;
  const char fraction[4] = {'.', static_cast<char>('0' + millis / 100),
                            static_cast<char>('0' + millis / 10 % 10),
                            static_cast<char>('0' + millis % 10)};
  out += "\n[";
  out.append(calendar.text, calendar.size);
  out.append(fraction, 4);
  out += "][";
  AppendDecimal(head.thread_id, out);
  out += "][";
  out += head.level;
  out += "][";
  out += head.file;
  out += '(';
  AppendDecimal(head.line, out);
  out += ")]";
  out += head.function;
  out += '\t';
}

void AppendLogLine(const LogEntry& entry, std::string& out) {
  AppendLogLineHead(
      {entry.time, entry.thread_id, entry.level.text, entry.file, entry.line, entry.function}, out);
  out += entry.message;
}

std::string FormatLogLine(const LogEntry& entry) {
  std::string out;
  AppendLogLine(entry, out);
  return out;
}

}  // namespace base
