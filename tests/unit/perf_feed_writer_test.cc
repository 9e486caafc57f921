// The host's writer: what it puts in the block, what it refuses, how it treats a held lock,
// and a writer in another process racing the overlay's reader.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <set>
#include <string>

#include "src/data/perf_block.h"
#include "src/data/perf_feed_writer.h"
#include "src/data/shared_memory_reader.h"
#include "tests/support/test_logger.h"

namespace {

using corvane::PerfFeedWriter;
using corvane::SharedMemoryMapping;

std::string UniqueName() {
  static int counter = 0;
  return "corvane-writer-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

class PerfFeedWriterTest : public ::testing::Test {
 protected:
  ~PerfFeedWriterTest() override { PerfFeedWriter::Remove(name, nullptr); }

  std::string name = UniqueName();
  PerfFeedWriter writer{name};
  std::string error;
};

TEST_F(PerfFeedWriterTest, WritesHeaderAndDocumentAndFreesTheLock) {
  ASSERT_TRUE(writer.Create(&error)) << error;
  ASSERT_TRUE(writer.Publish(R"({"cpu": 1})", true, 0xCAFE, &error)) << error;

  SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  EXPECT_GE(view.size(), corvane::kPerfBlockSize);
  EXPECT_EQ(corvane::PeekLockWord(view.data()), 0u);
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kEnabledOffset), 1u);
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kLengthOffset), 10u);
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kIpcWindowOffset), 0xCAFEu);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(view.data() + corvane::kPayloadOffset), 10),
            R"({"cpu": 1})");

  ASSERT_TRUE(writer.Publish("", false, 0, &error)) << error;  // header only
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kEnabledOffset), 0u);
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kLengthOffset), 0u);
}

TEST_F(PerfFeedWriterTest, RefusesADocumentOverTheLimitInsteadOfCuttingIt) {
  ASSERT_TRUE(writer.Create(&error));
  ASSERT_TRUE(writer.Publish(std::string(4096, ' ').replace(0, 2, "{}"), true, 0, &error)) << error;
  EXPECT_FALSE(writer.Publish(std::string(4097, ' '), true, 0, &error));
  EXPECT_EQ(error, "the document has 4097 bytes; the block takes at most 4096");
  SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kLengthOffset), 4096u);
}

TEST_F(PerfFeedWriterTest, HeldLockIsWaitedForThenReported) {
  EXPECT_FALSE(writer.Publish("{}", true, 0, &error));
  EXPECT_EQ(error, "the block is not created");
  ASSERT_TRUE(writer.Create(&error));
  SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  ASSERT_TRUE(corvane::TryLockBlock(view.data(), corvane::kReaderLockValue));
  EXPECT_FALSE(writer.Publish("{}", true, 0, &error, /*lock_timeout_ms=*/20));
  EXPECT_EQ(error, "the block's lock word stayed held for 20 ms (value 1)");
  EXPECT_EQ(corvane::PeekLockWord(view.data()), 1u);  // someone else's lock is never freed
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kLengthOffset), 0u);
  corvane::UnlockBlock(view.data());
  EXPECT_TRUE(writer.Publish("{}", true, 0, &error, 20)) << error;
}

TEST_F(PerfFeedWriterTest, RemoveOfAMissingBlockSaysWhy) {
  EXPECT_FALSE(PerfFeedWriter::Remove(name, &error));
  EXPECT_EQ(error, "cannot remove the block \"" + name + "\": system error 2");
}

// A stress document that carries its own check: the adapter name is a run of letters of a
// length and content given by the sequence number, and its "gpu_mem_total" is a hash of both.
uint32_t Checksum(const std::string& text, uint64_t sequence) {
  uint32_t hash = 2166136261u ^ static_cast<uint32_t>(sequence);
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  return hash;
}

std::string StressDocument(uint64_t sequence) {
  std::string letters(sequence % 3900, 'a');
  for (size_t i = 0; i < letters.size(); ++i)
    letters[i] = static_cast<char>('a' + (sequence + i) % 26);
  return R"({"fps": [{"game_id": 7, "cur": )" + std::to_string(sequence) +
         R"(}], "gpu": [{"name": ")" + letters + R"(", "gpu_mem_total": )" +
         std::to_string(Checksum(letters, sequence)) + "}]}";
}

TEST_F(PerfFeedWriterTest, WriterInAnotherProcessNeverShowsTheReaderAPartialDocument) {
  using Clock = std::chrono::steady_clock;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The writer: publishes as fast as the lock allows for a bounded time.
    PerfFeedWriter feed(name);
    if (!feed.Create(nullptr)) _exit(2);
    const auto end = Clock::now() + std::chrono::milliseconds(1500);
    for (uint64_t sequence = 1; Clock::now() < end; ++sequence) {
      if (!feed.Publish(StressDocument(sequence), true, 0, nullptr)) _exit(3);
    }
    _exit(0);
  }

  corvane::testing::TestLogger logger;
  logger.lowest_enabled = base::kLogWarning;  // the open failures before the child is ready
  corvane::testing::ScopedLoggerReplacement replace(&logger);
  corvane::SharedMemoryReader reader(name);
  SharedMemoryMapping view;
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  int parsed = 0, torn = 0, reader_lock_left = 0;
  std::set<uint64_t> sequences;
  const auto end = Clock::now() + std::chrono::milliseconds(1000);
  while (Clock::now() < end) {
    if (!reader.Read(7, "C:", snapshot, style)) continue;  // busy, or not yet published
    if (view.data() == nullptr) view.OpenExisting(name, nullptr);
    if (view.data() != nullptr && corvane::PeekLockWord(view.data()) == corvane::kReaderLockValue) {
      ++reader_lock_left;
    }
    ++parsed;
    const auto sequence = static_cast<uint64_t>(snapshot.fps_cur);
    if (!snapshot.fps_valid || !snapshot.gpu_valid ||
        snapshot.gpu_mem_total != Checksum(snapshot.gpu_name, sequence) ||
        snapshot.gpu_name.size() != sequence % 3900) {
      ++torn;
    }
    sequences.insert(sequence);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_GT(parsed, 0);
  EXPECT_GT(sequences.size(), 1u);
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(reader_lock_left, 0);
  EXPECT_TRUE(logger.Texts(base::kLogError).size() == logger.records.size());  // open failures only
  for (const auto& record : logger.records) {
    EXPECT_EQ(record.text.rfind("SharedMemoryReader::Open", 0), 0u) << record.text;
  }
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  EXPECT_EQ(corvane::PeekLockWord(view.data()), 0u);
}

}  // namespace
