// One record as a line of text.
#include <gtest/gtest.h>

#include "base/log/log_entry.h"
#include "base/log/log_record.h"
#include "tests/support/test_logger.h"

namespace {

using base::FileBaseName;
using base::FormatLogLine;
using base::LogEntry;

TEST(LogLineTest, FileBaseNameCutsAtSlashBackslashOrParenthesis) {
  EXPECT_EQ(FileBaseName("src/app/overlay_app"), "overlay_app");
  EXPECT_EQ(FileBaseName("c:\\src\\main.cc"), "main.cc");
  EXPECT_EQ(FileBaseName("c:\\src\\a(b)"), "b)");
  EXPECT_EQ(FileBaseName("a/b\\c"), "c");
  EXPECT_EQ(FileBaseName("plain"), "plain");
  EXPECT_EQ(FileBaseName("dir/"), "");
}

TEST(LogLineTest, LineLayout) {
  LogEntry entry;
  entry.time = {1741064767, 89000000};
  entry.thread_id = 4321;
  entry.file = "F";
  entry.line = 99;
  entry.level = base::LevelFromNumber(base::kLogInfo);
  entry.message = "hello {}";
  const std::string time = base::FormatLogTime<char>(entry.time);
  EXPECT_EQ(FormatLogLine(entry), "\n[" + time + "][4321][INFO][F(99)]\thello {}");

  entry.line = -7;
  entry.message.clear();
  entry.function = "Fn";
  entry.level = base::LevelFromNumber(9);
  EXPECT_EQ(FormatLogLine(entry), "\n[" + time + "][4321][WARNING][F(-7)]Fn\t");

  // Parts of every length up to 17 and beyond come out whole (the head copies short parts
  // in pieces of 8 and 4 bytes).
  const std::string letters = "abcdefghijklmnopqrstuvwxyz";
  for (size_t size = 0; size <= 18; ++size) {
    entry.file = letters.substr(0, size);
    entry.function = letters.substr(26 - size);
    entry.thread_id = static_cast<uint32_t>(size * 1000003);
    EXPECT_EQ(FormatLogLine(entry), "\n[" + time + "][" + std::to_string(size * 1000003) +
                                        "][WARNING][" + entry.file + "(-7)]" + entry.function +
                                        "\t")
        << size;
  }
}

TEST(LogLineTest, AppendKeepsEarlierLines) {
  LogEntry entry;
  entry.file = "x";
  entry.message = "m";
  std::string out = "head";
  base::AppendLogLine(entry, out);
  base::AppendLogLine(entry, out);
  EXPECT_EQ(out.rfind("head", 0), 0u);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2);
  EXPECT_EQ(out.back(), 'm');  // no line feed after the last record
}

TEST(LogLineTest, EntryFromRecordTakesBaseNameAndLevelRow) {
  corvane::testing::TestLogger logger;
  base::LogRecord record(&logger, "src/app/overlay_app", 12, "", base::kLogNotice);
  const LogEntry entry = LogEntry::FromRecord(record, {5, 6}, 77);
  EXPECT_EQ(entry.file, "overlay_app");
  EXPECT_EQ(entry.line, 12);
  EXPECT_EQ(entry.thread_id, 77u);
  EXPECT_EQ(entry.time, (base::LogTimestamp{5, 6}));
  EXPECT_EQ(entry.level, (base::LogLevel{200, "NOTICE"}));
  EXPECT_TRUE(entry.message.empty());
}

}  // namespace
