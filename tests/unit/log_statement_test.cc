// The log statement: level test first, "{}" formatting, format errors, one delivery.
#include <gtest/gtest.h>

#include "base/log/log_record.h"
#include "tests/support/test_logger.h"

namespace {

constexpr char kLogSource[] = "src/unit/statement";

using corvane::testing::ScopedLoggerReplacement;
using corvane::testing::TestLogger;

struct CountsFormatting {
  int* formatted;
};

}  // namespace

template <>
struct fmt::formatter<CountsFormatting> : fmt::formatter<int> {
  auto format(const CountsFormatting& c, fmt::format_context& ctx) const {
    ++*c.formatted;
    return fmt::formatter<int>::format(*c.formatted, ctx);
  }
};

namespace {

TEST(LogLevelTest, RowsAndUnknownNumbers) {
  EXPECT_EQ(base::LevelFromNumber(0), (base::LogLevel{0, "DEBUG"}));
  EXPECT_EQ(base::LevelFromNumber(1), (base::LogLevel{50, "TRACE"}));
  EXPECT_EQ(base::LevelFromNumber(2), (base::LogLevel{100, "INFO"}));
  EXPECT_EQ(base::LevelFromNumber(3), (base::LogLevel{200, "NOTICE"}));
  EXPECT_EQ(base::LevelFromNumber(4), (base::LogLevel{500, "WARNING"}));
  EXPECT_EQ(base::LevelFromNumber(5), (base::LogLevel{600, "ERROR"}));
  EXPECT_EQ(base::LevelFromNumber(6), (base::LogLevel{1000, "FATAL"}));
  EXPECT_EQ(base::LevelFromNumber(7), (base::LogLevel{500, "WARNING"}));
  EXPECT_EQ(base::LevelFromNumber(-1), (base::LogLevel{500, "WARNING"}));
}

TEST(LogStatementTest, DisabledLevelFormatsAndEvaluatesNothing) {
  TestLogger logger;
  logger.lowest_enabled = base::kLogInfo;
  ScopedLoggerReplacement replace(&logger);
  int formatted = 0;
  int evaluated = 0;
  LOG_TRACE("value {} {}", CountsFormatting{&formatted}, ++evaluated);
  EXPECT_EQ(formatted, 0);
  EXPECT_EQ(evaluated, 0);
  EXPECT_TRUE(logger.records.empty());
}

TEST(LogStatementTest, EnabledLevelFormatsOnceAndDeliversOnce) {
  TestLogger logger;
  logger.lowest_enabled = base::kLogInfo;
  ScopedLoggerReplacement replace(&logger);
  int formatted = 0;
  LOG_WARNING("[crash] LoadLibrary failed, gle={}, path={} n={}", 126u, "C:\\x.dll",
              CountsFormatting{&formatted});
  ASSERT_EQ(logger.records.size(), 1u);
  EXPECT_EQ(formatted, 1);
  const auto& record = logger.records[0];
  EXPECT_EQ(record.level, base::kLogWarning);
  EXPECT_EQ(record.text, "[crash] LoadLibrary failed, gle=126, path=C:\\x.dll n=1");
  EXPECT_EQ(record.file, "src/unit/statement");
  EXPECT_EQ(record.function, "");
  EXPECT_GT(record.line, 0);
}

TEST(LogStatementTest, FormatErrorKeepsTheTextSoFarAndStillDelivers) {
  TestLogger logger;
  {
    base::LogRecord record(&logger, "f", 1, "", base::kLogError);
    record.FormatRuntime("a={} b={:d} c={}", fmt::make_format_args("x", "not a number", 3));
    EXPECT_EQ(record.text(), "a=x b=");
    EXPECT_TRUE(logger.records.empty());  // delivered when the statement ends
  }
  ASSERT_EQ(logger.records.size(), 1u);
  EXPECT_EQ(logger.records[0].text, "a=x b=");
}

TEST(LogStatementTest, MessagesOnTheStackAndBeyondItArriveWhole) {
  TestLogger logger;
  ScopedLoggerReplacement replace(&logger);
  // Up to the record's own space, exactly at it, and past it (on the heap).
  for (const size_t size : {size_t{1}, base::LogRecord::kInlineText - 1,
                            base::LogRecord::kInlineText, 5 * base::LogRecord::kInlineText}) {
    const std::string tail(size, 'z');
    LOG_NOTICE("n={} {}", size, tail);
  }
  ASSERT_EQ(logger.records.size(), 4u);
  EXPECT_EQ(logger.records[0].text, "n=1 z");
  EXPECT_EQ(logger.records[3].text,
            fmt::format("n={} {}", 5 * base::LogRecord::kInlineText,
                        std::string(5 * base::LogRecord::kInlineText, 'z')));
  for (const auto& record : logger.records) EXPECT_EQ(record.text.back(), 'z');
}

TEST(LogStatementTest, PointersPrintAsLowerCaseHexWithoutLeadingZeros) {
  TestLogger logger;
  ScopedLoggerReplacement replace(&logger);
  LOG_WARNING("init={}, uninit={}", reinterpret_cast<const void*>(0xABCDEF),
              static_cast<const void*>(nullptr));
  ASSERT_EQ(logger.records.size(), 1u);
  EXPECT_EQ(logger.records[0].text, "init=0xabcdef, uninit=0x0");
}

}  // namespace
