// Record times: the anchored clock and the "%f" fraction in strftime patterns.
#include <gtest/gtest.h>

#include <regex>

#include "base/log/log_time.h"

namespace {

using base::ClockAnchor;
using base::ExpandFraction;
using base::FormatLogTime;
using base::LogTimestamp;

TEST(LogTimeTest, FractionDigitsAndEscapes) {
  const int32_t ns = 89123456;  // .089123456 s
  EXPECT_EQ(ExpandFraction<char>("%S.%f", ns), "%S.089");
  EXPECT_EQ(ExpandFraction<char>("%f6", ns), "089123");
  EXPECT_EQ(ExpandFraction<char>("%f9", ns), "089123456");
  EXPECT_EQ(ExpandFraction<char>("%f1", ns), "0");
  EXPECT_EQ(ExpandFraction<char>("%fx", ns), "089x");  // a letter stays
  EXPECT_EQ(ExpandFraction<char>("%f0", ns), "0890");  // 0 is not a digit count
  EXPECT_EQ(ExpandFraction<char>("%%f", ns), "%%f");   // escaped: left for strftime
  EXPECT_EQ(ExpandFraction<char>("%%%f", ns), "%%089");
  EXPECT_EQ(ExpandFraction<char>("%f%f", 5000000), "005005");
  EXPECT_EQ(ExpandFraction<char>("100%", ns), "100%");
  EXPECT_EQ(ExpandFraction<wchar_t>(L"%H-%M-%S.%f", 999999999), L"%H-%M-%S.999");
}

TEST(LogTimeTest, CounterToNanosecondsIsExact) {
  EXPECT_EQ(base::CounterToNanoseconds(123456789, 10000000), 12345678900);
  EXPECT_EQ(base::CounterToNanoseconds(3, 3), 1000000000);
  // 2^62 counts at 3 GHz would overflow counter * 1e9 done naively.
  const int64_t big = int64_t{1} << 62;
  EXPECT_EQ(base::CounterToNanoseconds(big, 3000000000),
            big / 3000000000 * 1000000000 + big % 3000000000 * 1000000000 / 3000000000);
  EXPECT_EQ(base::CounterToNanoseconds(5, 0), 0);
  // The frequencies without a division give what the division gives.
  const int64_t counts[] = {0, 1, 999999999, 1000000001, 1741064767089123, -7};
  for (const int64_t frequency : {int64_t{1000000000}, int64_t{10000000}}) {
    for (const int64_t counter : counts) {
      EXPECT_EQ(base::CounterToNanoseconds(counter, frequency),
                counter / frequency * 1000000000 + counter % frequency * 1000000000 / frequency)
          << counter << " at " << frequency;
    }
  }
}

TEST(LogTimeTest, AnchoredClockFollowsTheMonotonicCounter) {
  // File time of 2025-03-04 05:06:07 UTC plus 0.0891234 s.
  const int64_t file_time = 116444736000000000 + 1741064767LL * 10000000 + 891234;
  const ClockAnchor anchor = base::MakeClockAnchor(file_time, 5000000000);
  EXPECT_EQ(anchor.system_ns, 1741064767089123400);
  EXPECT_EQ(anchor.offset_ns, 1741064767089123400 - 5000000000);

  EXPECT_EQ(base::TimestampAt(5000000000, anchor), (LogTimestamp{1741064767, 89123400}));
  EXPECT_EQ(base::TimestampAt(6910876599, anchor), (LogTimestamp{1741064768, 999999999}));
}

TEST(LogTimeTest, NegativeOffsetFallsBackToTheSystemTime) {
  ClockAnchor anchor;
  anchor.system_ns = 2500000000;
  anchor.monotonic_ns = 9000000000;
  anchor.offset_ns = -6500000000;
  EXPECT_EQ(base::TimestampAt(1000000000, anchor), (LogTimestamp{3, 500000000}));
}

TEST(LogTimeTest, NowMovesForward) {
  const LogTimestamp a = LogTimestamp::Now();
  const LogTimestamp b = LogTimestamp::Now();
  EXPECT_GT(a.seconds, 1600000000);  // after 2020
  EXPECT_TRUE(b.seconds > a.seconds || (b.seconds == a.seconds && b.nanoseconds >= a.nanoseconds));
}

TEST(LogTimeTest, DefaultPatternsTruncateToMilliseconds) {
  // Seconds are the same in every time zone (offsets are whole minutes).
  const LogTimestamp t{1741064767, 999999900};
  const std::string narrow = FormatLogTime<char>(t);
  EXPECT_TRUE(std::regex_match(narrow, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:07\.999)")))
      << narrow;
  const std::wstring wide = FormatLogTime<wchar_t>(t);
  ASSERT_EQ(wide.size(), 23u);
  EXPECT_EQ(wide.find(L':'), std::wstring::npos);
  EXPECT_EQ(wide.substr(16), L"-07.999");
}

TEST(LogTimeTest, FormatterTakesAStrftimePattern) {
  const LogTimestamp t{1741064767, 89123456};
  EXPECT_EQ(fmt::format("{:%S.%f6}", t), "07.089123");
  EXPECT_EQ(fmt::format("[{}]", t), "[" + FormatLogTime<char>(t) + "]");
  EXPECT_EQ(fmt::format(L"{:%S}", t), L"07");
}

}  // namespace
