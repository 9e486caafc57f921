// The text log's sink: prefix rules, file names and paths, the fall-back directory, and what a
// file holds from opening to closing.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "base/log/log_crypt.h"
#include "base/log/log_entry.h"
#include "base/log/text_file_sink.h"
#include "base/log/write_failure.h"
#include "base/os/file_system.h"
#include "base/strings/utf.h"
#include "tests/support/temp_dir.h"

namespace {

using corvane::testing::ReadFileBytes;
using corvane::testing::TempDir;
using g3::CleanLogPrefix;
using g3::JoinLogPath;
using g3::LogFileName;

constexpr size_t kHeader = base::log_crypt::kSegmentHeaderSize;
constexpr size_t kTrailer = base::log_crypt::kSegmentTrailerSize;

// The plain text between the header and the trailer of a file written without encryption.
std::string PlainText(const std::string& file) {
  if (file.size() < kHeader + kTrailer) return {};
  return file.substr(kHeader, file.size() - kHeader - kTrailer);
}

TEST(LogPrefixTest, CleaningRemovesSpacesSlashesAndColons) {
  EXPECT_EQ(CleanLogPrefix(L" app "), L"app");
  EXPECT_EQ(CleanLogPrefix(L"a:b"), L"ab");
  EXPECT_EQ(CleanLogPrefix(L"a/b\\c\td\ne"), L"abcde");
  EXPECT_EQ(CleanLogPrefix(L"   "), L"");
  EXPECT_EQ(CleanLogPrefix(L"a#b"), L"a#b");  // not removed: the check rejects it
}

TEST(LogPrefixTest, CheckRejectsEmptyAndIllegalCharacters) {
  EXPECT_TRUE(g3::CheckLogPrefix(L"app"));
  EXPECT_TRUE(g3::CheckLogPrefix(L"app-1_x.y"));
  EXPECT_FALSE(g3::CheckLogPrefix(L""));
  for (const wchar_t* bad :
       {L"a,b", L"a|b", L"a<b", L"a>b", L"a#b", L"a$b", L"a%b", L"a{b", L"a}b", L"a[b", L"a]b",
        L"a'b", L"a\"b", L"a^b", L"a!b", L"a?b", L"a+b", L"a*b"}) {
    EXPECT_FALSE(g3::CheckLogPrefix(bad)) << base::WideToUtf8(bad);
  }
}

#if GTEST_HAS_DEATH_TEST
// The reports go to standard error natively; on Windows to the debugger output, which the
// death test cannot see, so there only the end of the process is checked.
#ifdef _WIN32
#define REPORTS(natively) ""
#else
#define REPORTS(natively) natively
#endif

TEST(LogPrefixDeathTest, UnusablePrefixEndsTheProcessWithThreeReports) {
  TempDir dir;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(g3::TextFileSink(L"a#b", dir.wide(), L"x", false, false),
               REPORTS("Illegal character \\[#\\] in logname prefix: \\[a#b\\].*"
                       "Empty filename prefix is not allowed.*"
                       "forced abort due to illegal log prefix \\[a#b\\]"));
  EXPECT_DEATH(
      g3::TextFileSink(L"  ", dir.wide(), L"x", false, false),
      REPORTS("Empty filename prefix is not allowed.*Empty filename prefix is not allowed.*"
              "forced abort due to illegal log prefix \\[  \\]"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // no file was made
}
#endif

TEST(LogFileNameTest, PrefixApplicationTimeAndExtension) {
  EXPECT_EQ(LogFileName(L"app", L"corvane", false), L"app.corvane.log");
  EXPECT_EQ(LogFileName(L"app", L"", false), L"app.log");
  const std::string stamped = base::WideToUtf8(LogFileName(L"app", L"", true));
  EXPECT_TRUE(std::regex_match(stamped, std::regex(R"(app\.\d{8}-\d{6}-\d{3}\.log)"))) << stamped;
  const std::string full = base::WideToUtf8(LogFileName(L"app", L"corvane", true));
  EXPECT_TRUE(std::regex_match(full, std::regex(R"(app\.corvane\.\d{8}-\d{6}-\d{3}\.log)")))
      << full;
}

TEST(LogPathTest, DirectoryIsNormalisedAndJoinedWithOneSlash) {
  EXPECT_EQ(JoinLogPath(L"C:/x/log/  //", L"a.log"), L"C:/x/log/a.log");
  EXPECT_EQ(JoinLogPath(L"C:\\x\\log\\", L"a.log"), L"C:/x/log/a.log");
  EXPECT_EQ(JoinLogPath(L"C:\\x\\log", L"a.log"), L"C:/x/log/a.log");
  EXPECT_EQ(JoinLogPath(L"", L"a.log"), L"a.log");
  EXPECT_EQ(JoinLogPath(L" / ", L"a.log"), L"a.log");
}

TEST(TextFileSinkTest, FreshSinkHoldsHeaderOpeningClosingAndTrailer) {
  TempDir dir;
  std::filesystem::path file;
  {
    g3::TextFileSink sink(L" app ", dir.wide(), L"corvane", false, false);
    ASSERT_TRUE(sink.is_open());
    file = dir / "app.corvane.log";
    EXPECT_EQ(std::filesystem::path(sink.path()), file);
  }
  const std::string bytes = ReadFileBytes(file);
  ASSERT_GT(bytes.size(), kHeader + kTrailer);
  EXPECT_EQ(bytes.substr(0, 2), "\x86\x96");
  EXPECT_EQ(bytes[2], 0);  // not enciphered
  EXPECT_EQ(bytes[3], 0);  // not compressed
  EXPECT_EQ(bytes.substr(bytes.size() - kTrailer, 2), "\x88\x98");
  const std::string text = PlainText(bytes);
  const std::regex layout(
      "\xEF\xBB\xBFlog created at: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\n"
      "LOG format: \\[YYYY-MM-DD hh:mm:ss\\.xxx\\]\\[tid\\]\\[LEVEL\\]\\[FILE\\(LINE\\)\\]"
      "FUNCTION\tmessage\n"
      "log shutdown at: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}");
  EXPECT_TRUE(std::regex_match(text, layout)) << text;
}

TEST(TextFileSinkTest, LinesFollowTheOpeningTextInOrder) {
  TempDir dir;
  {
    g3::TextFileSink sink(L"app", dir.wide(), L"", false, false);
    base::LogEntry entry;
    entry.file = "f";
    for (int i = 0; i < 3; ++i) {
      entry.message = "line " + std::to_string(i);
      sink.Write(base::FormatLogLine(entry));
    }
  }
  const std::string text = PlainText(ReadFileBytes(dir / "app.log"));
  const size_t first = text.find("[f(0)]\tline 0\n[");
  ASSERT_NE(first, std::string::npos) << text;
  EXPECT_LT(first, text.find("line 1"));
  EXPECT_LT(text.find("line 1"), text.find("line 2"));
  EXPECT_LT(text.find("line 2"), text.find("\nlog shutdown at: "));
}

TEST(TextFileSinkTest, SecondSinkOfTheSameNameTruncatesTheFirstFile) {
  TempDir dir;
  {
    g3::TextFileSink first(L"app", dir.wide(), L"", false, false);
    base::LogEntry entry;
    entry.message = std::string(5000, 'x');
    first.Write(base::FormatLogLine(entry));
  }
  const size_t long_size = std::filesystem::file_size(dir / "app.log");
  { g3::TextFileSink second(L"app", dir.wide(), L"", false, false); }
  EXPECT_LT(std::filesystem::file_size(dir / "app.log") + 4000, long_size);
}

// A directory with non-ASCII characters is used as it is (natively its name is UTF-8, whatever
// the C library's locale), not taken for unusable.
TEST(TextFileSinkTest, NonAsciiDirectoryIsUsed) {
  TempDir dir;
  corvane::testing::ScopedCurrentDirectory in_dir(dir.path());
  const std::filesystem::path named = dir.path() / std::filesystem::path(u8"d\u00e9\u4e2d");
  ASSERT_TRUE(std::filesystem::create_directory(named));
  {
    g3::TextFileSink sink(L"app", dir.wide() + L"/d\u00e9\u4e2d", L"corvane", false, false);
    ASSERT_TRUE(sink.is_open());
    EXPECT_EQ(base::os::FileSystemPath(sink.path()), named / "app.corvane.log");
  }
  EXPECT_GT(std::filesystem::file_size(named / "app.corvane.log"), kHeader + kTrailer);
  EXPECT_FALSE(std::filesystem::exists(dir / "app.corvane.log"));  // no fall-back
}

TEST(TextFileSinkTest, UnusableDirectoryFallsBackToTheCurrentDirectory) {
  TempDir dir;
  corvane::testing::ScopedCurrentDirectory in_dir(dir.path());
  // A directory below a plain file can never be opened.
  { std::ofstream(dir / "plain_file") << "x"; }
  const std::wstring unusable = (dir / "plain_file" / "log").wstring();
  {
    g3::TextFileSink sink(L"app", unusable, L"corvane", false, false);
    EXPECT_TRUE(sink.is_open());
    EXPECT_EQ(sink.path(), L"./app.corvane.log");
  }
  EXPECT_GT(std::filesystem::file_size(dir / "app.corvane.log"), kHeader + kTrailer);
}

}  // namespace

// The rules of a spell of failed writes: reported once when it begins, lines counted through
// it, the file tried again no sooner than the interval after the last try, and a count that
// starts from zero after the loss record is in the file.
TEST(WriteFailureTest, SpellCountsRetriesAfterTheIntervalAndStartsOverWhenRecovered) {
  constexpr int64_t kMs = 1000000;
  g3::WriteFailure failure;
  EXPECT_FALSE(failure.failing());
  EXPECT_TRUE(failure.WriteFailed(112, 2, 1000 * kMs));
  EXPECT_FALSE(failure.WriteFailed(112, 1, 1010 * kMs));
  failure.CountLost(4);
  EXPECT_TRUE(failure.failing());
  EXPECT_EQ(failure.lost_lines(), 7u);
  EXPECT_FALSE(failure.RetryDue(1109 * kMs));
  EXPECT_TRUE(failure.RetryDue(1110 * kMs));
  failure.Retrying(1110 * kMs);
  EXPECT_FALSE(failure.RetryDue(1200 * kMs));
  EXPECT_EQ(failure.LossMessage("Disk full", ""),
            "7 record lines could not be written to this log and are lost: Disk full (error 112)");
  EXPECT_EQ(failure.LossMessage("Disk full", "Corvane version=1.2.3.4, pid=7"),
            "7 record lines could not be written to this log and are lost: Disk full (error 112); "
            "the log of Corvane version=1.2.3.4, pid=7");
  failure.Recovered();
  EXPECT_FALSE(failure.failing());
  EXPECT_TRUE(failure.WriteFailed(28, 5, 2000 * kMs));
  EXPECT_EQ(failure.lost_lines(), 5u);
}
