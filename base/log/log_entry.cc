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

// The default pattern up to its fraction, for the time `seconds`.
std::string_view CalendarText(int64_t seconds) {
  thread_local CalendarCache calendar;
  if (calendar.seconds != seconds) {
    const std::string text = FormatLogTime<char>({seconds, 0}, "%Y-%m-%d %H:%M:%S");
    calendar.size = std::min(text.size(), sizeof(calendar.text));
    std::memcpy(calendar.text, text.data(), calendar.size);
    calendar.seconds = seconds;
  }
  return {calendar.text, calendar.size};
}

// The head is measured first and then written through a pointer into space made once: an
// append per part costs more than the rest of the head.
class HeadWriter {
 public:
  explicit HeadWriter(const LogLineHead& head)
      : head_(head),
        calendar_(CalendarText(head.time.seconds)),
        thread_id_(head.thread_id),
        line_(head.line) {}

  size_t size() const {
    return calendar_.size() + thread_id_.size() + head_.level.size() + head_.file.size() +
           line_.size() + head_.function.size() + kPunctuation;
  }

  // Writes size() bytes at `out`.
  void WriteTo(char* out) const {
    const int32_t millis = head_.time.nanoseconds / 1000000;
    out = Put(out, "\n[");
    out = Put(out, calendar_);
    *out++ = '.';
    *out++ = static_cast<char>('0' + millis / 100);
    *out++ = static_cast<char>('0' + millis / 10 % 10);
    *out++ = static_cast<char>('0' + millis % 10);
    out = Put(out, "][");
    out = Put(out, {thread_id_.data(), thread_id_.size()});
    out = Put(out, "][");
    out = Put(out, head_.level);
    out = Put(out, "][");
    out = Put(out, head_.file);
    *out++ = '(';
    out = Put(out, {line_.data(), line_.size()});
    out = Put(out, ")]");
    out = Put(out, head_.function);
    *out = '\t';
  }

 private:
  // "\n[" ".mmm" "][" "][" "][" "(" ")]" "\t"
  static constexpr size_t kPunctuation = 2 + 4 + 2 + 2 + 2 + 1 + 2 + 1;

  // The parts are short: up to 16 bytes are moved by two overlapping loads and stores of a
  // fixed size, inline, instead of a call to memcpy (under Wine a call into its C library).
  static char* Put(char* out, std::string_view text) {
    const char* in = text.data();
    const size_t size = text.size();
    if (size >= 8 && size <= 16) {
      CopyTwice<8>(in, size, out);
    } else if (size >= 4 && size < 8) {
      CopyTwice<4>(in, size, out);
    } else if (size < 4) {
      for (size_t i = 0; i < size; ++i) out[i] = in[i];
    } else {
      std::memcpy(out, in, size);
    }
    return out + size;
  }

  // The first and the last kWidth bytes of `size` (kWidth <= size <= 2 * kWidth).
  template <size_t kWidth>
  static void CopyTwice(const char* in, size_t size, char* out) {
    char first[kWidth];
    char last[kWidth];
    std::memcpy(first, in, kWidth);
    std::memcpy(last, in + size - kWidth, kWidth);
    std::memcpy(out, first, kWidth);
    std::memcpy(out + size - kWidth, last, kWidth);
  }

  const LogLineHead& head_;
  std::string_view calendar_;
  fmt::format_int thread_id_;
  fmt::format_int line_;
};

}  // namespace

void AppendLogLineHead(const LogLineHead& head, LogLineBuffer& out) {
  const HeadWriter writer(head);
  const size_t start = out.size();
  out.resize(start + writer.size());
  writer.WriteTo(out.data() + start);
}

void AppendLogLineHead(const LogLineHead& head, std::string& out) {
  const HeadWriter writer(head);
  const size_t start = out.size();
  out.resize(start + writer.size());
  writer.WriteTo(out.data() + start);
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
