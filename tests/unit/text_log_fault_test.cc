// The text log through writes that fail for a while: the process's file-size limit makes the
// file take no more bytes (as a full disk would), then it is lifted again. Natively only: under
// Wine the drill of the tool tests does the same with a real logging run.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/log/log_crypt.h"
#include "base/log/log_entry.h"
#include "base/log/log_record.h"
#include "base/log/logger.h"
#include "base/log/mem_log.h"
#include "base/log/secp256k1.h"
#include "base/log/text_file_sink.h"
#include "tests/support/log_text.h"
#include "tests/support/temp_dir.h"

namespace {

using base::log_reader::DecodedLog;
using base::log_reader::LogLine;
using corvane::testing::DecodeFile;
using corvane::testing::TempDir;
using corvane::testing::TextLogs;

constexpr char kLogSource[] = "tests/unit/text_log_fault";

// Writes beyond `bytes` fail (EFBIG, with SIGXFSZ ignored) until the limit is lifted.
class FileSizeLimit {
 public:
  FileSizeLimit() {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
  }
  ~FileSizeLimit() {
    Lift();
    signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  void Set(uint64_t bytes) {
    rlimit limit = saved_;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  }
  void Lift() { setrlimit(RLIMIT_FSIZE, &saved_); }

 private:
  rlimit saved_{};
  void (*old_handler_)(int) = nullptr;
};

std::string Line(const std::string& message) {
  base::LogEntry entry;
  entry.time = base::LogTimestamp::Now();
  entry.thread_id = 7;
  entry.file = "fault";
  entry.line = 1;
  entry.message = message;
  return base::FormatLogLine(entry);
}

bool IsDevReaderKeyBuiltIn() {
  base::log_crypt::PublicKey dev{};
  return corvane::testing::DevReaderKey() != nullptr &&
         base::log_crypt::DerivePublicKey(*corvane::testing::DevReaderKey(), &dev) &&
         dev == base::log_crypt::BuiltInReaderKeys()[0];
}

// The messages of the records from `file` "fault", in order.
std::vector<std::string> Messages(const DecodedLog& log) {
  std::vector<std::string> messages;
  for (const LogLine& r : log.records) {
    if (r.file == "fault") messages.push_back(r.message);
  }
  return messages;
}

// The loss records the sink wrote itself.
std::vector<LogLine> LossRecords(const DecodedLog& log) {
  std::vector<LogLine> notices;
  for (const LogLine& r : log.records) {
    if (r.file == "text_file_sink") notices.push_back(r);
  }
  return notices;
}

uint64_t LostCount(const LogLine& notice) {
  return std::stoull(notice.message);
}

// Lines written before the file fails, while it fails, and after it takes bytes again: the
// first and the last all come back, of the middle ones those that reached the file and a
// count of the others, and the log closes as usual.
TEST(TextLogFaultTest, LinesAfterATransientWriteFailureReachTheFile) {
  for (const bool encrypt : {false, true}) {
    SCOPED_TRACE(encrypt);
    if (encrypt && !IsDevReaderKeyBuiltIn()) continue;
    TempDir dir;
    const auto path = dir / "app.log";
    constexpr int kEach = 20000;
    {
      FileSizeLimit limit;
      g3::TextFileSink sink(L"app", dir.wide(), L"", false, encrypt);
      for (int i = 0; i < kEach; ++i) sink.Write(Line("before " + std::to_string(i)));
      sink.Flush();
      limit.Set(std::filesystem::file_size(path) + 1000);
      for (int i = 0; i < kEach; ++i) sink.Write(Line("during " + std::to_string(i)));
      sink.Flush();
      limit.Lift();
      sink.Flush();
      for (int i = 0; i < kEach; ++i) sink.Write(Line("after " + std::to_string(i)));
    }
    const DecodedLog log = DecodeFile(path);
    EXPECT_EQ(log.status, base::log_reader::DecodeStatus::kDamaged) << log.problem;
    ASSERT_FALSE(log.skipped.empty());
    EXPECT_GT(log.skipped.front().resumed_at, log.skipped.front().at);
    EXPECT_TRUE(log.closed);

    const std::vector<std::string> messages = Messages(log);
    const std::vector<LogLine> notices = LossRecords(log);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].level, "WARNING");
    EXPECT_NE(notices[0].message.find("record lines could not be written to this log and are "
                                      "lost: File too large (error 27)"),
              std::string::npos)
        << notices[0].message;
    std::vector<std::string> expected;
    for (int i = 0; i < kEach; ++i) expected.push_back("before " + std::to_string(i));
    size_t during = 0;
    while (kEach + during < messages.size() && messages[kEach + during].starts_with("during ")) {
      ++during;
    }
    // The middle lines read are the first ones written, the last of them perhaps cut short.
    for (size_t i = 0; i + 1 < during; ++i) expected.push_back("during " + std::to_string(i));
    if (during > 0) expected.push_back(messages[kEach + during - 1]);
    for (int i = 0; i < kEach; ++i) expected.push_back("after " + std::to_string(i));
    EXPECT_EQ(messages, expected);
    // Every middle line is read or counted lost; the one cut by the failure may be both.
    const uint64_t accounted = during + LostCount(notices[0]);
    EXPECT_GE(accounted, uint64_t{kEach});
    EXPECT_LE(accounted, uint64_t{kEach} + 1);
    EXPECT_LT(during, 1000u);
  }
}

// A write that stores nothing: each of its lines is counted, and so is a line whose last
// bytes the cipher still held (the new segment drops them), whichever line that is. With one
// line and more after the last good write, every line is read or counted; only a line whose
// text inflates whole without its last bytes may be both. Many counts: the compressed sizes
// differ from run to run, and only some leave "before" whole in the file.
TEST(TextLogFaultTest, EveryLineOfAWriteThatStoresNothingIsReadOrCounted) {
  for (const bool encrypt : {false, true}) {
    if (encrypt && !IsDevReaderKeyBuiltIn()) continue;
    for (uint64_t count = 1; count <= 48; ++count) {
      SCOPED_TRACE(testing::Message() << "encrypt " << encrypt << ", " << count << " lines");
      TempDir dir;
      {
        FileSizeLimit limit;
        g3::TextFileSink sink(L"app", dir.wide(), L"", false, encrypt);
        sink.Write(Line("before"));
        sink.Flush();
        limit.Set(std::filesystem::file_size(dir / "app.log"));
        for (uint64_t i = 0; i < count; ++i) sink.Write(Line("lost " + std::to_string(i)));
        sink.Flush();
        limit.Lift();
        sink.Flush();
        sink.Write(Line("kept"));
      }
      const DecodedLog log = DecodeFile(dir / "app.log");
      const std::vector<std::string> messages = Messages(log);
      ASSERT_EQ(LossRecords(log).size(), 1u);
      ASSERT_FALSE(messages.empty());
      EXPECT_EQ(messages.back(), "kept");
      // Of the lines before "kept", only "before" can be read: its tail may have been held too.
      EXPECT_LE(messages.size(), 2u);
      const uint64_t accounted = messages.size() - 1 + LostCount(LossRecords(log)[0]);
      EXPECT_GE(accounted, count + 1);
      EXPECT_LE(accounted, count + 2);
    }
  }
}

// Two spells of failures, the second one right after the first loss record: each loss record
// counts its own spell's lines and is read whole, and names the program that wrote the log.
TEST(TextLogFaultTest, EachSpellCountsItsOwnLossInARecordReadWhole) {
  for (const bool encrypt : {false, true}) {
    SCOPED_TRACE(encrypt);
    if (encrypt && !IsDevReaderKeyBuiltIn()) continue;
    TempDir dir;
    const auto path = dir / "app.log";
    {
      FileSizeLimit limit;
      g3::TextFileSink sink(L"app", dir.wide(), L"", false, encrypt);
      sink.SetWriter("fault test 1.2.3.4");
      sink.Write(Line("before"));
      sink.Flush();
      for (const int lost : {3, 5}) {
        limit.Set(std::filesystem::file_size(path));
        for (int i = 0; i < lost; ++i) sink.Write(Line("lost " + std::to_string(i)));
        sink.Flush();
        limit.Lift();
        sink.Flush();  // the loss record, and nothing after it before the next spell
      }
      sink.Write(Line("kept"));
    }
    const DecodedLog log = DecodeFile(path);
    EXPECT_EQ(Messages(log), (std::vector<std::string>{"before", "kept"}));
    const std::vector<LogLine> notices = LossRecords(log);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(LostCount(notices[0]), 3u);
    EXPECT_EQ(LostCount(notices[1]), 5u);
    for (const LogLine& notice : notices) {
      EXPECT_TRUE(notice.message.ends_with("; the log of fault test 1.2.3.4")) << notice.message;
    }
  }
}

// The loss record is whole in the file as soon as the file takes bytes again, read while the
// sink still runs (as after a kill): none of its last bytes stay with the encoder. Whether a
// held tail cuts the record's text depends on its compressed length, which moves with the
// writer's name: every length across several cipher blocks is tried.
TEST(TextLogFaultTest, LossRecordIsWholeInTheFileWhateverItsLength) {
  if (!IsDevReaderKeyBuiltIn()) GTEST_SKIP() << "the build's reader key is not the development key";
  for (size_t name_length = 1; name_length <= 48; ++name_length) {
    SCOPED_TRACE(name_length);
    const std::string writer = "Corvane " + std::string(name_length, 'v');
    TempDir dir;
    const auto path = dir / "app.log";
    FileSizeLimit limit;
    g3::TextFileSink sink(L"app", dir.wide(), L"", false, /*encrypt=*/true);
    sink.SetWriter(writer);
    sink.Write(Line("before"));
    sink.Flush();
    limit.Set(std::filesystem::file_size(path));
    sink.Write(Line("lost"));
    sink.Flush();
    limit.Lift();
    sink.Flush();  // the file takes bytes again: the loss record
    const std::vector<LogLine> notices = LossRecords(DecodeFile(path));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].message.ends_with("; the log of " + writer)) << notices[0].message;
  }
}

// A write cut exactly at the end of a line: that line is in the file and not counted; the one
// after it is counted, exactly.
TEST(TextLogFaultTest, WriteCutExactlyAfterALineCountsOnlyTheLinesAfterIt) {
  TempDir dir;
  const auto path = dir / "app.log";
  {
    FileSizeLimit limit;
    g3::TextFileSink sink(L"app", dir.wide(), L"", false, /*encrypt=*/false);
    sink.Write(Line("before"));
    sink.Flush();
    const std::string stored = Line("stored");
    limit.Set(std::filesystem::file_size(path) + stored.size());
    sink.Write(stored);
    sink.Write(Line("lost"));
    sink.Flush();
    limit.Lift();
    sink.Flush();
  }
  const DecodedLog log = DecodeFile(path);
  EXPECT_EQ(Messages(log), (std::vector<std::string>{"before", "stored"}));
  ASSERT_EQ(LossRecords(log).size(), 1u);
  EXPECT_EQ(LostCount(LossRecords(log)[0]), 1u);
}

// A memory log needs every block of its file before it is mapped: a page without one would
// fault at its first write on a full disk. A file the disk cannot hold leaves the memory log
// off, the file at its old length, and the text log working; a file with holes (as an older
// program left it) gets its blocks.
TEST(TextLogFaultTest, MemoryLogIsMappedOnlyOverBlocksTheDiskHolds) {
  TempDir dir;
  const std::wstring mem_path = (dir / "app.mem.log").wstring();
  {
    FileSizeLimit limit;
    limit.Set(base::MemLog::kFileSize / 2);
    base::MemLog mem_log;
    mem_log.Open(&mem_path, /*encrypt=*/false);
    EXPECT_FALSE(mem_log.mapped());
    mem_log.Write(Line("dropped"));
    EXPECT_EQ(std::filesystem::file_size(dir / "app.mem.log"), 0u);

    base::logger logger;
    ASSERT_TRUE(logger.Init(true, L"corvane", dir.wide().c_str(), L"app", L"", true, false,
                            /*mem_log=*/true, 0, 0));
    logger.SetLevel(base::kLogInfo);
    BASE_LOG_TO(&logger, kLogSource, base::kLogInfo, "text log only");
    logger.Uninit();
    EXPECT_EQ(std::filesystem::file_size(dir / "app.corvane.log"), 0u);
    const DecodedLog log = DecodeFile(TextLogs(dir.path()).at(0));
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].message, "text log only");
  }
  std::filesystem::resize_file(dir / "app.mem.log", base::MemLog::kFileSize);
  struct stat sparse {};
  ASSERT_EQ(stat((dir / "app.mem.log").c_str(), &sparse), 0);
  ASSERT_LT(sparse.st_blocks * 512, base::MemLog::kFileSize) << "no holes to fill here";
  base::MemLog mem_log;
  mem_log.Open(&mem_path, /*encrypt=*/false);
  EXPECT_TRUE(mem_log.mapped());
  struct stat filled {};
  ASSERT_EQ(stat((dir / "app.mem.log").c_str(), &filled), 0);
  EXPECT_GE(filled.st_blocks * 512, base::MemLog::kFileSize);
}

// A file that fails from its first bytes on: once it takes bytes again, its first readable
// segment opens with the loss record.
TEST(TextLogFaultTest, FileThatFailsFromTheStartIsReadFromItsFirstWholeSegment) {
  for (const uint64_t first_bytes : {uint64_t{0}, uint64_t{100}}) {
    SCOPED_TRACE(first_bytes);
    TempDir dir;
    {
      FileSizeLimit limit;
      limit.Set(first_bytes);
      g3::TextFileSink sink(L"app", dir.wide(), L"", false, false);
      for (int i = 0; i < 10; ++i) sink.Write(Line("lost " + std::to_string(i)));
      limit.Lift();
      sink.Flush();
      sink.Write(Line("kept"));
    }
    const DecodedLog log = DecodeFile(dir / "app.log");
    EXPECT_EQ(log.skipped.size(), first_bytes > 0 ? 1u : 0u);
    EXPECT_TRUE(log.closed);
    ASSERT_EQ(LossRecords(log).size(), 1u);
    EXPECT_EQ(LostCount(LossRecords(log)[0]), 10u);
    EXPECT_EQ(Messages(log), std::vector<std::string>{"kept"});
  }
}

// The last record of a run reaches a file that takes bytes again even when the logger stops
// within the sink's retry interval of a failed write: the worker's last batch tries at once.
TEST(TextLogFaultTest, LastRecordOfARunReachesAFileThatTakesBytesAgain) {
  TempDir dir;
  FileSizeLimit limit;
  base::logger logger;
  ASSERT_TRUE(logger.Init(true, L"corvane", dir.wide().c_str(), L"app", L"", /*synchronous=*/false,
                          /*encrypt=*/false, /*mem_log=*/false, 0, 0));
  logger.SetLevel(base::kLogInfo);
  limit.Set(std::filesystem::file_size(TextLogs(dir.path()).at(0)));
  BASE_LOG_TO(&logger, kLogSource, base::kLogInfo, "lost");
  // The worker hands the record to the sink within its period; the flush then fails.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  logger.Flush();
  limit.Lift();
  BASE_LOG_TO(&logger, kLogSource, base::kLogInfo, "last");
  logger.Uninit();

  const DecodedLog log = DecodeFile(TextLogs(dir.path()).at(0));
  std::vector<std::string> messages;
  for (const LogLine& r : log.records) {
    if (r.file == "text_log_fault") messages.push_back(r.message);
  }
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), "last");
  // On a slow machine the first record may have reached the sink only after the lift.
  const std::vector<LogLine> notices = LossRecords(log);
  const uint64_t lost = notices.empty() ? 0 : LostCount(notices[0]);
  EXPECT_EQ(messages.size() + lost, 2u);
  EXPECT_TRUE(log.closed);
}

}  // namespace
