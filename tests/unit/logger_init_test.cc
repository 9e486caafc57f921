// The logger's initialisation: directories, files, thresholds, and the life of its state.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "base/log/log_record.h"
#include "base/log/logger.h"
#include "base/os/file_system.h"
#include "base/os/thread_id.h"
#include "tests/support/log_text.h"
#include "tests/support/temp_dir.h"

namespace {

using corvane::testing::ReadFileBytes;
using corvane::testing::TempDir;
using corvane::testing::TextLogs;

constexpr char kLogSource[] = "tests/unit/logger_init";

bool InitLike(base::logger& logger, const std::wstring& dir, bool mem_log = true,
              bool synchronous = false, bool timestamp = true) {
  return logger.Init(timestamp, L"corvane", dir.c_str(), L"app", L"", synchronous,
                     /*encrypt=*/false, mem_log, 10485760, 48);
}

TEST(LoggerInitTest, MakesBothLogsAndTheEmptyMemlogDirectory) {
  TempDir dir;
  const std::wstring log_dir = (dir / "host" / "log").wstring();
  base::logger logger;
  ASSERT_TRUE(InitLike(logger, log_dir));
  EXPECT_EQ(logger.GetLogDir(), log_dir + L"\\");
  logger.SetLevel(base::kLogInfo);
  BASE_LOG_TO(&logger, kLogSource, base::kLogNotice, "first {}", 1);
  logger.Uninit();

  const std::filesystem::path native_dir = dir / "host" / "log";
  EXPECT_TRUE(std::filesystem::is_directory(native_dir / "memlog"));
  EXPECT_TRUE(std::filesystem::is_empty(native_dir / "memlog"));
  EXPECT_EQ(std::filesystem::file_size(native_dir / "app.corvane.log"), 3145890u);
  ASSERT_EQ(TextLogs(native_dir).size(), 1u);
  EXPECT_NE(ReadFileBytes(TextLogs(native_dir)[0]).find("[NOTICE][logger_init("),
            std::string::npos);
  EXPECT_NE(ReadFileBytes(native_dir / "app.corvane.log").find("\tfirst 1"), std::string::npos);
}

// Two loggers on one folder (two overlays of one host): the second finds the memory log held
// and keeps one of its own, named with its process id; each holds its own records. Once the
// usual file is free again, a new run takes it as before.
TEST(LoggerInitTest, SecondLoggerOnOneFolderKeepsAMemoryLogOfItsOwn) {
  TempDir dir;
  base::logger first;
  base::logger second;
  ASSERT_TRUE(InitLike(first, dir.wide()));
  ASSERT_TRUE(InitLike(second, dir.wide()));
  BASE_LOG_TO(&first, kLogSource, base::kLogTrace, "first's record");
  BASE_LOG_TO(&second, kLogSource, base::kLogTrace, "second's record");
  const auto own = dir / ("app.corvane." + std::to_string(base::os::CurrentProcessId()) + ".log");
  EXPECT_EQ(std::filesystem::file_size(own), 3145890u);
  second.Uninit();
  first.Uninit();
  const std::string usual = ReadFileBytes(dir / "app.corvane.log");
  const std::string second_ring = ReadFileBytes(own);
  EXPECT_NE(usual.find("\tfirst's record"), std::string::npos);
  EXPECT_EQ(usual.find("second's record"), std::string::npos);
  EXPECT_NE(second_ring.find("\tsecond's record"), std::string::npos);
  EXPECT_EQ(second_ring.find("first's record"), std::string::npos);

  base::logger next;
  ASSERT_TRUE(InitLike(next, dir.wide()));
  BASE_LOG_TO(&next, kLogSource, base::kLogTrace, "next run's record");
  next.Uninit();
  EXPECT_NE(ReadFileBytes(dir / "app.corvane.log").find("\tnext run's record"), std::string::npos);
}

TEST(LoggerInitTest, SeparatorRulesOfTheDirectory) {
  TempDir dir;
  base::logger with_slash;
  const std::wstring slash_dir = (dir / "a").wstring() + L"/";
  ASSERT_TRUE(InitLike(with_slash, slash_dir, true, true));
  EXPECT_EQ(with_slash.GetLogDir(), slash_dir);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a" / "memlog"));

  base::logger with_subdir;
  ASSERT_TRUE(with_subdir.Init(false, nullptr, (dir / "b").wstring().c_str(), nullptr, L"sub", true,
                               false, true, 0, 0));
  EXPECT_EQ(with_subdir.GetLogDir(), (dir / "b").wstring() + L"\\sub");
  with_subdir.Uninit();
  // A null application name is "mem" for the memory log and nothing for the text log; a null
  // prefix is "app".
  const std::filesystem::path sub = (dir / "b").string() + "\\sub";
  const std::filesystem::path native_sub = std::filesystem::exists(sub) ? sub : dir / "b" / "sub";
  EXPECT_TRUE(std::filesystem::exists(native_sub / "app.mem.log"));
  EXPECT_TRUE(std::filesystem::exists(native_sub / "app.log"));
}

TEST(LoggerInitTest, DefaultDirectoryIsBesideTheExecutable) {
  base::logger logger;
  ASSERT_TRUE(
      logger.Init(false, L"default_dir_test", nullptr, L"app", L"", true, false, false, 0, 0));
  const std::wstring dir = logger.GetLogDir();
  EXPECT_TRUE(dir.ends_with(L"\\log\\")) << std::filesystem::path(dir).string();
  logger.Uninit();
  const std::filesystem::path exe_dir =
      std::filesystem::path(base::os::ExecutablePath()).parent_path();
  EXPECT_TRUE(std::filesystem::exists(exe_dir / "log" / "app.default_dir_test.log"));
  std::filesystem::remove(exe_dir / "log" / "app.default_dir_test.log");
}

TEST(LoggerInitTest, ThresholdsWithTheProgramsSettings) {
  TempDir dir;
  base::logger logger;
  EXPECT_FALSE(logger.IsEnabled(base::kLogFatal));  // before Init nothing is admitted
  ASSERT_TRUE(InitLike(logger, dir.wide()));
  EXPECT_FALSE(logger.IsEnabled(0));  // below both fresh thresholds (NOTICE, TRACE)
  EXPECT_TRUE(logger.IsEnabled(1));
  logger.SetLevel(base::kLogInfo);
  EXPECT_FALSE(logger.IsEnabled(base::kLogDebug));
  EXPECT_FALSE(logger.IsEnabled(-1));
  EXPECT_TRUE(logger.IsEnabled(base::kLogTrace));  // memory log only
  for (int level = base::kLogInfo; level <= 7; ++level) EXPECT_TRUE(logger.IsEnabled(level));
  logger.Uninit();
  EXPECT_FALSE(logger.IsEnabled(base::kLogFatal));

  base::logger without_memory_log;
  ASSERT_TRUE(InitLike(without_memory_log, (dir / "x").wstring(), /*mem_log=*/false));
  without_memory_log.SetLevel(base::kLogInfo);
  EXPECT_FALSE(without_memory_log.IsEnabled(base::kLogTrace));
  EXPECT_TRUE(without_memory_log.IsEnabled(base::kLogInfo));
  EXPECT_FALSE(without_memory_log.DumpToFile((dir / "dump").wstring()));
  without_memory_log.FlushFile();
  EXPECT_FALSE(std::filesystem::exists(dir / "x" / "app.corvane.log"));
  EXPECT_FALSE(std::filesystem::exists(dir / "x" / "memlog"));
}

TEST(LoggerInitTest, LevelSetBeforeInitSurvivesIt) {
  TempDir dir;
  base::logger logger;
  logger.SetLevel(base::kLogError);
  ASSERT_TRUE(InitLike(logger, dir.wide(), false));
  EXPECT_EQ(logger.GetLevel(), base::kLogError);
  EXPECT_FALSE(logger.IsEnabled(base::kLogWarning));
}

TEST(LoggerInitTest, SecondInitChangesNothing) {
  TempDir dir;
  base::logger logger;
  ASSERT_TRUE(InitLike(logger, (dir / "one").wstring()));
  const std::wstring first_dir = logger.GetLogDir();
  EXPECT_TRUE(InitLike(logger, (dir / "two").wstring(), false));
  EXPECT_EQ(logger.GetLogDir(), first_dir);
  EXPECT_FALSE(std::filesystem::exists(dir / "two"));
  EXPECT_TRUE(logger.IsEnabled(base::kLogTrace));  // the memory log is still on
}

TEST(LoggerInitTest, UninitThenInitStartsANewTextLog) {
  TempDir dir;
  base::logger logger;
  ASSERT_TRUE(InitLike(logger, dir.wide()));
  BASE_LOG_TO(&logger, kLogSource, base::kLogNotice, "run one");
  logger.Uninit();
  BASE_LOG_TO(&logger, kLogSource, base::kLogNotice, "between runs");  // no state: dropped
  // Text log names differ by their creation time in milliseconds.
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  ASSERT_TRUE(InitLike(logger, dir.wide()));
  BASE_LOG_TO(&logger, kLogSource, base::kLogNotice, "run two");
  logger.Uninit();

  const auto logs = TextLogs(dir.path());
  ASSERT_EQ(logs.size(), 2u);  // the names differ by their creation time
  std::string all;
  for (const auto& log : logs) all += ReadFileBytes(log);
  EXPECT_NE(all.find("run one"), std::string::npos);
  EXPECT_NE(all.find("run two"), std::string::npos);
  EXPECT_EQ(all.find("between runs"), std::string::npos);
}

TEST(LoggerInitTest, DirectoryThatCannotBeCreatedFailsAndALaterInitTriesAgain) {
  TempDir dir;
  { std::ofstream(dir / "plain_file") << "x"; }
  base::logger logger;
  EXPECT_FALSE(InitLike(logger, (dir / "plain_file" / "log").wstring()));
  EXPECT_FALSE(logger.IsEnabled(base::kLogFatal));
  EXPECT_FALSE(InitLike(logger, (dir / "plain_file" / "log").wstring(), /*mem_log=*/false));
  EXPECT_FALSE(logger.IsEnabled(base::kLogFatal));

  EXPECT_TRUE(InitLike(logger, (dir / "good").wstring()));
  EXPECT_TRUE(logger.IsEnabled(base::kLogFatal));
}

TEST(LoggerInitTest, WriteTakesTheTextOut) {
  TempDir dir;
  base::logger logger;
  ASSERT_TRUE(InitLike(logger, dir.wide(), true, /*synchronous=*/true));
  logger.SetLevel(base::kLogInfo);
  for (int level : {base::kLogDebug, base::kLogTrace, base::kLogInfo}) {
    base::LogRecord record(&logger, "f", 1, "", level);
    record.Format("text {}", level);
    logger.Write(record);
    EXPECT_TRUE(record.text().empty()) << level;
  }
  logger.Uninit();
  base::LogRecord record(&logger, "f", 1, "", base::kLogFatal);
  record.Format("after uninit");
  logger.Write(record);
  EXPECT_TRUE(record.text().empty());
}

}  // namespace
