// The memory log: its mapped file, pieces in the ring, the wrap, the dump, the flush, and the
// newest record as a reader finds it in the file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/log/log_crypt.h"
#include "base/log/log_entry.h"
#include "base/log/mem_log.h"
#include "base/log/secp256k1.h"
#include "tests/support/log_text.h"
#include "tests/support/temp_dir.h"

namespace {

using base::MemLog;
using base::log_reader::NewestEnd;
using corvane::testing::DecodeFile;
using corvane::testing::DevReaderKey;
using corvane::testing::ReadFileBytes;
using corvane::testing::TempDir;

constexpr base::LogLineHead kHead{{1741064767, 89000000}, 7, "INFO", "f", 1, ""};

void WriteRecord(MemLog& log, std::string_view message) {
  std::string line;
  base::AppendLogLineHead(kHead, line);
  line += message;
  log.Write(line);
}

size_t RecordLineSize(std::string_view message) {
  std::string line;
  base::AppendLogLineHead(kHead, line);
  return line.size() + message.size();
}

// True when the program writes against the development reader key (the default build).
bool IsDevReaderKeyBuiltIn() {
  base::log_crypt::PublicKey dev{};
  return base::log_crypt::DerivePublicKey(*DevReaderKey(), &dev) &&
         dev == base::log_crypt::BuiltInReaderKeys()[0];
}

// The numbers of the records "n=<number>;" in `text`, in the order they appear.
std::vector<int> RecordNumbers(const std::string& text) {
  std::vector<int> numbers;
  for (size_t at = text.find("\tn="); at != std::string::npos; at = text.find("\tn=", at + 1)) {
    numbers.push_back(static_cast<int>(std::strtol(text.c_str() + at + 3, nullptr, 10)));
  }
  return numbers;
}

TEST(MemLogTest, FileHoldsHeaderRingAndTrailer) {
  TempDir dir;
  const std::wstring path = (dir / "app.corvane.log").wstring();
  MemLog log;
  log.Open(&path, false);
  ASSERT_TRUE(log.mapped());
  EXPECT_EQ(std::filesystem::file_size(path), 3145890u);
  WriteRecord(log, "hello");
  log.Close();
  const std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 3145890u);
  EXPECT_EQ(bytes.substr(0, 2), "\x86\x96");
  EXPECT_EQ(bytes.substr(148, 2), "\xA6\xB6");
  EXPECT_EQ(bytes.substr(3145878, 2), "\x88\x98");
  EXPECT_EQ(bytes.substr(3145888, 2), "\xA8\xB8");
  EXPECT_EQ(bytes.substr(150, 1), "\n");
  EXPECT_NE(bytes.find("[INFO][f(1)]\thello", 150), std::string::npos);
}

TEST(MemLogTest, ReopenKeepsOldRingBytesButDumpHoldsOnlyTheNewPieces) {
  TempDir dir;
  const std::wstring path = (dir / "mem.log").wstring();
  MemLog log;
  log.Open(&path, false);
  WriteRecord(log, std::string(200, 'o'));
  log.Open(&path, false);
  EXPECT_EQ(log.position(), 0u);
  WriteRecord(log, "new");
  const uint32_t position = log.position();

  const std::string file = ReadFileBytes(path);
  EXPECT_NE(file.find(std::string(100, 'o'), 150 + position), std::string::npos);

  // A longer earlier file at the target is replaced, not overwritten at its start.
  const std::filesystem::path dump = dir / "dump.bin";
  { std::ofstream(dump, std::ios::binary) << std::string(10000, 'z'); }
  ASSERT_TRUE(log.DumpToFile(dump.wstring()));
  const std::string dumped = ReadFileBytes(dump);
  ASSERT_EQ(dumped.size(), 150u + position + 12u);
  EXPECT_EQ(dumped.substr(0, 150), file.substr(0, 150));
  EXPECT_EQ(dumped.substr(150, position), file.substr(150, position));
  EXPECT_EQ(dumped.substr(150 + position), file.substr(3145878));
}

TEST(MemLogTest, AfterAWrapTheDumpIsOldestFirstWithTheFillerAmongTheOlder) {
  TempDir dir;
  const std::wstring path = (dir / "mem.log").wstring();
  MemLog log;
  log.Open(&path, false);
  int n = 0;
  while (!log.wrapped()) WriteRecord(log, "n=" + std::to_string(n++) + ";" + std::string(90, '.'));
  for (int i = 0; i < 100; ++i) WriteRecord(log, "n=" + std::to_string(n++) + ";");
  const int newest = n - 1;

  const std::filesystem::path dump = dir / "dump.bin";
  ASSERT_TRUE(log.DumpToFile(dump.wstring()));
  const std::string dumped = ReadFileBytes(dump);
  ASSERT_EQ(dumped.size(), 3145890u);
  const std::string ring = dumped.substr(150, MemLog::kCapacity);
  const std::vector<int> numbers = RecordNumbers(ring);
  ASSERT_GT(numbers.size(), 1000u);
  for (size_t i = 1; i < numbers.size(); ++i) ASSERT_EQ(numbers[i], numbers[i - 1] + 1) << i;
  EXPECT_EQ(numbers.back(), newest);
  // The spaces that filled the old end come just before the newest pieces.
  const size_t newer_start = MemLog::kCapacity - log.position();
  EXPECT_EQ(ring[newer_start - 1], ' ');
  EXPECT_EQ(ring[newer_start], '\n');
}

TEST(MemLogTest, EncipheredPiecesAndFillersAreWholeBlocks) {
  TempDir dir;
  const std::wstring path = (dir / "mem.log").wstring();
  MemLog log;
  log.Open(&path, true);
  const std::string file_header = ReadFileBytes(path).substr(0, 4);
  EXPECT_EQ(file_header[2], 1);  // enciphered
  EXPECT_EQ(file_header[3], 0);  // not compressed
  for (int i = 0; i < 40000 && !log.wrapped(); ++i) {
    WriteRecord(log, std::string(static_cast<size_t>(i % 97), 'x'));
    ASSERT_EQ(log.position() % 8, 0u) << i;
  }
  EXPECT_TRUE(log.wrapped());
}

TEST(MemLogTest, ClosedLogDumpsNothingAndFlushReportsWithoutAFile) {
  TempDir dir;
  MemLog log;
  EXPECT_FALSE(log.DumpToFile((dir / "dump.bin").wstring()));
  EXPECT_FALSE(std::filesystem::exists(dir / "dump.bin"));
#ifndef _WIN32
  // Natively the debugger output is standard error; under Windows it goes to a debugger.
  ::testing::internal::CaptureStderr();
  log.FlushFile();
  const std::string report = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(report.starts_with("Flush File Error: ")) << report;
  EXPECT_GT(std::strtol(report.c_str() + 18, nullptr, 10), 0) << report;
#else
  log.FlushFile();
#endif

  const std::wstring unusable = (dir / "no" / "such" / "mem.log").wstring();
  log.Open(&unusable, false);
  EXPECT_FALSE(log.mapped());
  WriteRecord(log, "dropped");
  EXPECT_EQ(log.position(), 0u);
  EXPECT_FALSE(log.wrapped());
  EXPECT_FALSE(std::filesystem::exists(dir / "no"));
  EXPECT_FALSE(log.DumpToFile((dir / "dump.bin").wstring()));
}

TEST(MemLogTest, PieceAsLargeAsTheRingIsDroppedAndTheRingUnchanged) {
  TempDir dir;
  const std::wstring path = (dir / "mem.log").wstring();
  MemLog log;
  log.Open(&path, false);
  WriteRecord(log, "kept");
  const uint32_t position = log.position();
  const std::string before = ReadFileBytes(path);
  WriteRecord(log, std::string(MemLog::kCapacity, 'x'));
  EXPECT_EQ(log.position(), position);
  EXPECT_FALSE(log.wrapped());
  EXPECT_EQ(ReadFileBytes(path), before);
}

// The newest records as the mapped file holds them while the writer still runs (as a crash
// leaves it), and after it closed, read with the development key.
TEST(MemLogTest, MappedFileGivesTheNewestRecordWholeWhileOpenAndAfterClose) {
  if (DevReaderKey() == nullptr || !IsDevReaderKeyBuiltIn()) {
    GTEST_SKIP() << "the build's reader key is not the development key";
  }
  TempDir dir;
  const std::wstring path = (dir / "mem.log").wstring();
  MemLog log;
  log.Open(&path, true);
  uint64_t line_bytes = 0;  // since the open: the encoder holds back their count modulo 8
  std::vector<std::string> messages;
  auto write = [&](std::string message) {
    WriteRecord(log, message);
    line_bytes += RecordLineSize(message);
    messages.push_back(std::move(message));
  };
  while (!log.wrapped()) write("n=" + std::to_string(messages.size()) + ";" + std::string(70, 'u'));
  for (int i = 0; i < 57; ++i) {
    write("n=" + std::to_string(messages.size()) + ";" + std::string(static_cast<size_t>(i), 'v'));
  }

  auto expect_newest = [&](size_t held_back, NewestEnd end) {
    const auto decoded = DecodeFile(dir / "mem.log");
    ASSERT_EQ(decoded.status, base::log_reader::DecodeStatus::kComplete) << decoded.problem;
    EXPECT_EQ(decoded.newest_end, end);
    ASSERT_GT(decoded.records.size(), 1000u);
    const size_t first = messages.size() - decoded.records.size();
    for (size_t i = 0; i + 1 < decoded.records.size(); ++i) {
      ASSERT_EQ(decoded.records[i].message, messages[first + i]) << i;
    }
    const std::string& newest = messages.back();
    EXPECT_EQ(decoded.records.back().message, newest.substr(0, newest.size() - held_back));
  };
  expect_newest(line_bytes % 8, NewestEnd::kMayLackTail);
  // A newest line that fills its last block: nothing is held back, but the reader of a running
  // log cannot know that; the closing zeros tell it.
  const std::string last = "n=" + std::to_string(messages.size()) + ";";
  write(last + std::string((8 - (line_bytes + RecordLineSize(last)) % 8) % 8, 'w'));
  ASSERT_EQ(line_bytes % 8, 0u);
  expect_newest(0, NewestEnd::kMayLackTail);
  log.Close();
  expect_newest(0, NewestEnd::kWhole);
}

TEST(MemLogTest, DumpToAnUnusableTargetFailsAndLeavesTheRing) {
  TempDir dir;
  const std::wstring path = (dir / "mem.log").wstring();
  MemLog log;
  log.Open(&path, false);
  WriteRecord(log, "kept");
  const uint32_t position = log.position();
  EXPECT_FALSE(log.DumpToFile((dir / "no" / "dir" / "dump.bin").wstring()));
  EXPECT_EQ(log.position(), position);
}

TEST(MemLogTest, FlushStampsTheLastWriteTime) {
  TempDir dir;
  const std::wstring path = (dir / "mem.log").wstring();
  MemLog log;
  log.Open(&path, false);
  const auto old_time = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
  std::error_code error;
  std::filesystem::last_write_time(path, old_time, error);
  if (error) GTEST_SKIP() << "the file's time cannot be set while it is mapped here";
  log.FlushFile();
  EXPECT_GT(std::filesystem::last_write_time(path), old_time + std::chrono::hours(24));
}

}  // namespace
