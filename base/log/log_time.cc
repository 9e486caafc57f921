#include "base/log/log_time.h"

#include <cstdint>
#include <ctime>
#include <cwchar>

#include "base/os/clock.h"

namespace base {
namespace {

constexpr int64_t kNanosPerSecond = 1000000000;
constexpr int64_t kFileTimeAt1970 = 116444736000000000;  // 100 ns units from 1601 to 1970

int64_t MonotonicNowNs() {
  const os::CounterReading reading = os::ReadMonotonicCounter();
  return CounterToNanoseconds(reading.counter, reading.frequency);
}

size_t CallStrftime(char* out, size_t size, const char* pattern, const std::tm* tm) {
  return std::strftime(out, size, pattern, tm);
}
size_t CallStrftime(wchar_t* out, size_t size, const wchar_t* pattern, const std::tm* tm) {
  return std::wcsftime(out, size, pattern, tm);
}

template <typename Char>
std::basic_string_view<Char> DefaultPattern();
template <>
std::string_view DefaultPattern<char>() {
  return kDefaultTimePattern;
}
template <>
std::wstring_view DefaultPattern<wchar_t>() {
  return kDefaultWideTimePattern;
}

}  // namespace

ClockAnchor MakeClockAnchor(int64_t system_file_time, int64_t monotonic_ns) {
  ClockAnchor anchor;
  anchor.system_ns = (system_file_time - kFileTimeAt1970) * 100;
  anchor.monotonic_ns = monotonic_ns;
  anchor.offset_ns = anchor.system_ns - anchor.monotonic_ns;
  return anchor;
}

LogTimestamp TimestampAt(int64_t monotonic_ns, const ClockAnchor& anchor) {
  const int64_t offset = anchor.offset_ns < 0 ? anchor.system_ns : anchor.offset_ns;
  const int64_t t = monotonic_ns + offset;
  LogTimestamp ts;
  ts.seconds = t / kNanosPerSecond;
  ts.nanoseconds = static_cast<int32_t>(t % kNanosPerSecond);
  if (ts.seconds < 0) ts.seconds = 0;
  if (ts.nanoseconds < 0) ts.nanoseconds = 0;
  return ts;
}

int64_t CounterToNanoseconds(int64_t counter, int64_t frequency) {
  if (frequency <= 0) return 0;
  // The two frequencies the clocks have (POSIX nanoseconds; 10 MHz on Windows and Wine) need no
  // division, which costs more than the rest of a time stamp.
  if (frequency == kNanosPerSecond) return counter;
  if (frequency == kNanosPerSecond / 100 && counter >= 0 && counter <= INT64_MAX / 100) {
    return counter * 100;
  }
  return counter / frequency * kNanosPerSecond + counter % frequency * kNanosPerSecond / frequency;
}

LogTimestamp LogTimestamp::Now() {
  // Fixed once per process; the one-time initialisation of a local static makes concurrent
  // first records agree on it.
  static const ClockAnchor anchor = MakeClockAnchor(os::ReadSystemFileTime(), MonotonicNowNs());
  return TimestampAt(MonotonicNowNs(), anchor);
}

template <typename Char>
std::basic_string<Char> ExpandFraction(std::basic_string_view<Char> pattern, int32_t nanoseconds) {
  std::basic_string<Char> out;
  out.reserve(pattern.size() + 8);
  size_t i = 0;
  while (i < pattern.size()) {
    if (pattern[i] != Char('%')) {
      out += pattern[i++];
      continue;
    }
    size_t run = 0;
    while (i + run < pattern.size() && pattern[i + run] == Char('%')) ++run;
    const bool fraction = i + run < pattern.size() && pattern[i + run] == Char('f') && run % 2 == 1;
    if (!fraction) {
      out.append(pattern.substr(i, run));
      i += run;
      continue;
    }
    out.append(pattern.substr(i, run - 1));  // the escaped pairs before "%f" stay for strftime
    i += run + 1;
    int digits = 3;
    if (i < pattern.size() && pattern[i] >= Char('1') && pattern[i] <= Char('9')) {
      digits = static_cast<int>(pattern[i] - Char('0'));
      ++i;
    }
    int64_t value = nanoseconds;
    for (int k = digits; k < 9; ++k) value /= 10;
    std::basic_string<Char> text(static_cast<size_t>(digits), Char('0'));
    for (int k = digits - 1; k >= 0; --k, value /= 10)
      text[k] = static_cast<Char>('0' + value % 10);
    out += text;
  }
  return out;
}

template <typename Char>
std::basic_string<Char> FormatLogTime(const LogTimestamp& time,
                                      std::basic_string_view<Char> pattern) {
  if (pattern.empty()) pattern = DefaultPattern<Char>();
  const std::basic_string<Char> expanded = ExpandFraction(pattern, time.nanoseconds);
  std::tm tm{};
  if (!os::ToLocalCalendarTime(time.seconds, &tm)) return {};

  const size_t limit = expanded.size() * 256;
  std::basic_string<Char> out;
  for (size_t size = expanded.size() * 2 + 32;; size *= 2) {
    if (size > limit) size = limit;
    out.resize(size);
    const size_t written = CallStrftime(out.data(), out.size(), expanded.c_str(), &tm);
    if (written > 0) {
      out.resize(written);
      return out;
    }
    if (size >= limit) return {};
  }
}

template std::string ExpandFraction(std::string_view, int32_t);
template std::wstring ExpandFraction(std::wstring_view, int32_t);
template std::string FormatLogTime(const LogTimestamp&, std::string_view);
template std::wstring FormatLogTime(const LogTimestamp&, std::wstring_view);

}  // namespace base
