// The process logger's thresholds before Init and after Uninit.
#include <gtest/gtest.h>

#include "base/log/logger.h"

namespace {

TEST(LoggerTest, FreshStateAdmitsNothingAndKeepsItsLevel) {
  base::logger logger;
  for (int level = -1; level <= 7; ++level) EXPECT_FALSE(logger.IsEnabled(level)) << level;
  EXPECT_EQ(logger.GetLevel(), 3);
  logger.SetLevel(2);
  EXPECT_EQ(logger.GetLevel(), 2);
  int out = -5;
  EXPECT_TRUE(logger.QueryLevel(&out));
  EXPECT_EQ(out, 2);
  EXPECT_TRUE(logger.QueryLevel(nullptr));
  EXPECT_TRUE(logger.GetLogDir().empty());
}

TEST(LoggerTest, AfterUninitThereIsNoState) {
  base::logger logger;
  logger.Uninit();
  EXPECT_FALSE(logger.IsEnabled(6));
  EXPECT_EQ(logger.GetLevel(), 6);
  int out = 42;
  EXPECT_FALSE(logger.QueryLevel(&out));
  EXPECT_EQ(out, 42);
  logger.SetLevel(1);
  EXPECT_EQ(logger.GetLevel(), 6);
  EXPECT_TRUE(logger.GetLogDir().empty());
  logger.Uninit();  // a second release does nothing
}

TEST(LoggerTest, GetLoggerIsOneObjectUnlessReplaced) {
  base::ILogger* first = base::GetLogger();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(base::GetLogger(), first);

  base::logger other;
  EXPECT_EQ(base::ReplaceLoggerForTesting(&other), nullptr);
  EXPECT_EQ(base::GetLogger(), &other);
  EXPECT_EQ(base::ReplaceLoggerForTesting(nullptr), &other);
  EXPECT_EQ(base::GetLogger(), first);
}

}  // namespace
