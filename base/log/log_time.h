#pragma once
// Record times: a monotonic clock anchored once to the wall clock, and their text through
// strftime patterns with a "%f" fraction of a second.
#include <cstdint>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <fmt/xchar.h>

namespace base {

struct LogTimestamp {
  int64_t seconds = 0;      // since 1970-01-01 UTC
  int32_t nanoseconds = 0;  // 0..999999999

  // Now, by the process's anchored clock. A later change of the wall clock does not move it.
  static LogTimestamp Now();

  friend bool operator==(const LogTimestamp&, const LogTimestamp&) = default;
};

// The wall clock and the monotonic clock read together once, at the first record.
struct ClockAnchor {
  int64_t system_ns = 0;     // wall clock, nanoseconds since 1970
  int64_t monotonic_ns = 0;  // monotonic clock at the same moment
  int64_t offset_ns = 0;     // system_ns - monotonic_ns
};

ClockAnchor MakeClockAnchor(int64_t system_file_time, int64_t monotonic_ns);

// The time of a monotonic reading under `anchor`.
LogTimestamp TimestampAt(int64_t monotonic_ns, const ClockAnchor& anchor);

// counter / frequency in nanoseconds, exactly, without overflow for realistic counters.
int64_t CounterToNanoseconds(int64_t counter, int64_t frequency);

inline constexpr std::string_view kDefaultTimePattern = "%Y-%m-%d %H:%M:%S.%f";
inline constexpr std::wstring_view kDefaultWideTimePattern = L"%Y-%m-%d %H-%M-%S.%f";

// Replaces every unescaped "%f" (optionally followed by a digit 1..9 giving the number of
// digits, 3 otherwise) by the fraction of a second, truncated. "%%f" is left for strftime.
template <typename Char>
std::basic_string<Char> ExpandFraction(std::basic_string_view<Char> pattern, int32_t nanoseconds);

// Local calendar time of `time` through strftime with the fraction expanded first. An empty
// pattern selects the default one. Empty when the text does not fit 256 times the pattern.
template <typename Char>
std::basic_string<Char> FormatLogTime(const LogTimestamp& time,
                                      std::basic_string_view<Char> pattern = {});

extern template std::string ExpandFraction(std::string_view, int32_t);
extern template std::wstring ExpandFraction(std::wstring_view, int32_t);
extern template std::string FormatLogTime(const LogTimestamp&, std::string_view);
extern template std::wstring FormatLogTime(const LogTimestamp&, std::wstring_view);

}  // namespace base

// "{}" gives the default pattern; "{:%H:%M:%S.%f6}" any other strftime pattern.
template <typename Char>
struct fmt::formatter<base::LogTimestamp, Char> {
  std::basic_string_view<Char> pattern;

  constexpr auto parse(basic_format_parse_context<Char>& ctx) {
    auto it = ctx.begin();
    auto end = it;
    while (end != ctx.end() && *end != Char('}')) ++end;
    pattern = std::basic_string_view<Char>(&*it, static_cast<size_t>(end - it));
    return end;
  }

  template <typename FormatContext>
  auto format(const base::LogTimestamp& time, FormatContext& ctx) const {
    const std::basic_string<Char> text = base::FormatLogTime<Char>(time, pattern);
    return std::copy(text.begin(), text.end(), ctx.out());
  }
};
