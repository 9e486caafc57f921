// The reader over a real named block: opening, the one-try lock, the header values, the
// payload checks, and the lock word left free on every path.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "src/data/perf_block.h"
#include "src/data/shared_memory_mapping.h"
#include "src/data/shared_memory_reader.h"
#include "tests/support/test_logger.h"

namespace {

using corvane::PerfSnapshot;
using corvane::SharedMemoryMapping;
using corvane::SharedMemoryReader;
using corvane::UiStyle;
using corvane::testing::ScopedLoggerReplacement;
using corvane::testing::TestLogger;

// A block of this test's own (other programs may own the real one), made and written by hand.
class SharedMemoryReaderTest : public ::testing::Test {
 protected:
  static std::string UniqueName() {
    static int counter = 0;
    return "corvane-reader-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
  }
  ~SharedMemoryReaderTest() override {
    block.Close();
    SharedMemoryMapping::Remove(name, nullptr);
  }

  void CreateBlock(size_t size = corvane::kPerfBlockSize) {
    ASSERT_TRUE(block.CreateOrOpen(name, size, nullptr));
  }
  void WriteHeader(uint32_t enabled, uint32_t length, uint32_t ipc_wnd) {
    corvane::StoreHeaderWord(block.data(), corvane::kEnabledOffset, enabled);
    corvane::StoreHeaderWord(block.data(), corvane::kLengthOffset, length);
    corvane::StoreHeaderWord(block.data(), corvane::kIpcWindowOffset, ipc_wnd);
  }
  void Publish(const std::string& document, uint32_t enabled = 1, uint32_t ipc_wnd = 0x1234) {
    std::memcpy(block.data() + corvane::kPayloadOffset, document.data(), document.size());
    WriteHeader(enabled, static_cast<uint32_t>(document.size()), ipc_wnd);
  }
  uint64_t LockWord() { return corvane::BlockLockWord(block.data()).Peek(); }
  bool Read() { return reader.Read(12345, "C:", snapshot, style); }

  std::string name = UniqueName();
  SharedMemoryMapping block;
  TestLogger logger;
  ScopedLoggerReplacement replace{&logger};
  SharedMemoryReader reader{name};
  PerfSnapshot snapshot;
  UiStyle style;
};

TEST_F(SharedMemoryReaderTest, MissingBlockIsLoggedAtEveryTryAndPickedUpWhenItAppears) {
  EXPECT_FALSE(reader.Open());
  EXPECT_FALSE(Read());
  EXPECT_EQ(reader.last_read(), corvane::BlockRead::kNotOpen);
  EXPECT_FALSE(reader.is_open());
  EXPECT_FALSE(reader.enabled());
  EXPECT_EQ(logger.Texts(base::kLogError),
            (std::vector<std::string>{"SharedMemoryReader::Open OpenFileMapping failed: 2",
                                      "SharedMemoryReader::Open OpenFileMapping failed: 2"}));

  CreateBlock();
  Publish(R"({"cpu": 12.5})", 1, 0xABCDEF01);
  EXPECT_TRUE(Read());  // opened and read in the same call
  EXPECT_EQ(reader.last_read(), corvane::BlockRead::kParsed);
  EXPECT_EQ(logger.Texts(base::kLogInfo),
            std::vector<std::string>{"SharedMemoryReader::Open success"});
  EXPECT_EQ(snapshot.cpu, 12.5);
  EXPECT_TRUE(reader.enabled());
  EXPECT_EQ(reader.ipc_wnd(), 0xFFFFFFFFABCDEF01u);  // sign-extended, as Windows widens a handle
  EXPECT_TRUE(reader.Open());                        // already open: no second record
  EXPECT_EQ(logger.records.size(), 3u);
}

TEST_F(SharedMemoryReaderTest, HeldLockLeavesEverythingAsItWas) {
  CreateBlock();
  Publish(R"({"cpu": 1})", 1, 7);
  ASSERT_TRUE(Read());
  Publish(R"({"cpu": 2})", 0, 8);
  ASSERT_TRUE(corvane::BlockLockWord(block.data()).TryAcquire(99));
  EXPECT_FALSE(Read());
  EXPECT_EQ(reader.last_read(), corvane::BlockRead::kLockHeld);
  EXPECT_EQ(LockWord(), 99u);  // left as found
  EXPECT_EQ(snapshot.cpu, 1.0);
  EXPECT_TRUE(reader.enabled());
  EXPECT_EQ(reader.ipc_wnd(), 7u);
  corvane::BlockLockWord(block.data()).Release(99);
  EXPECT_TRUE(Read());
  EXPECT_EQ(snapshot.cpu, 2.0);
  EXPECT_TRUE(logger.Texts(base::kLogError).empty());
}

TEST_F(SharedMemoryReaderTest, LengthsOutOfRangeTakeTheHeaderButParseNothing) {
  CreateBlock(corvane::kPerfBlockSize + 64);
  // Whole at 4097 bytes, so a reader that took one byte too many would parse it.
  std::string too_long = R"({"cpu": 4, "pad": ")";
  too_long.append(corvane::kMaxPayloadSize + 1 - too_long.size() - 2, 'x');
  too_long += "\"}";
  ASSERT_EQ(too_long.size(), corvane::kMaxPayloadSize + 1);
  for (uint32_t length : {0u, 4097u, 0xFFFFFFFFu}) {
    Publish(R"({"cpu": 3})", 1, 1);
    ASSERT_TRUE(Read());
    std::memcpy(block.data() + corvane::kPayloadOffset, too_long.data(), too_long.size());
    WriteHeader(0, length, length);  // the ipc word tells the reads apart
    EXPECT_FALSE(Read()) << length;
    EXPECT_EQ(reader.last_read(), corvane::BlockRead::kBadLength) << length;
    EXPECT_FALSE(reader.enabled()) << length;
    EXPECT_EQ(static_cast<uint32_t>(reader.ipc_wnd()), length) << length;  // its 32 bits
    EXPECT_EQ(snapshot.cpu, 3.0) << length;
    EXPECT_EQ(LockWord(), 0u) << length;
  }
  EXPECT_TRUE(logger.Texts(base::kLogError).empty());
}

TEST_F(SharedMemoryReaderTest, FullSizePayloadIsParsedWhole) {
  CreateBlock();
  // The closing brace is the 4096th byte: a copy one byte short would not parse.
  std::string document = R"({"cpu": 42, "pad": ")";
  document.append(corvane::kMaxPayloadSize - document.size() - 2, 'x');
  document += "\"}";
  ASSERT_EQ(document.size(), corvane::kMaxPayloadSize);
  Publish(document);
  EXPECT_TRUE(Read());
  EXPECT_EQ(snapshot.cpu, 42.0);
}

TEST_F(SharedMemoryReaderTest, HiddenFlagStillUpdatesTheRecords) {
  CreateBlock();
  Publish(R"({"cpu": 9, "ui_style": "{\"alpha\": 100}"})", 0);
  EXPECT_TRUE(Read());
  EXPECT_FALSE(reader.enabled());
  EXPECT_EQ(snapshot.cpu, 9.0);
  EXPECT_EQ(style.alpha, 255);
}

TEST_F(SharedMemoryReaderTest, LockIsFreeAfterEveryRead) {
  CreateBlock();
  for (const std::string document : {R"({"cpu": 1})", "{", "[1]", R"({"cpu": "x"})", "{}"}) {
    Publish(document);
    Read();
    EXPECT_EQ(LockWord(), 0u) << document;
  }
  EXPECT_EQ(logger.Texts(base::kLogError).size(), 2u);  // the two type errors
}

TEST_F(SharedMemoryReaderTest, CloseTwiceThenReadOpensAgain) {
  CreateBlock();
  Publish(R"({"cpu": 5})");
  ASSERT_TRUE(Read());
  reader.Close();
  EXPECT_FALSE(reader.is_open());
  reader.Close();
  EXPECT_FALSE(reader.is_open());
  EXPECT_TRUE(Read());
  EXPECT_EQ(logger.Texts(base::kLogInfo).size(), 2u);
}

TEST_F(SharedMemoryReaderTest, UnsizedBlockFailsToMapAndIsRetried) {
  // A writer between creating its object and sizing it.
  {
    SharedMemoryMapping partial;
    ASSERT_FALSE(partial.CreateOrOpen(name, 0, nullptr));
  }
  EXPECT_FALSE(Read());
  EXPECT_EQ(logger.Texts(base::kLogError),
            std::vector<std::string>{"SharedMemoryReader::Open MapViewOfFile failed: 22"});
  EXPECT_FALSE(reader.is_open());
  CreateBlock();
  Publish("{}");
  EXPECT_TRUE(Read());
}

// Notes the lock word of a view whenever a record arrives: the parse logs its errors while
// the reader still holds the lock.
class LockWatchingLogger final : public base::ILogger {
 public:
  explicit LockWatchingLogger(unsigned char* view) : view_(view) {}
  bool Init(bool, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, bool, bool, bool,
            uint64_t, uint32_t) override {
    return true;
  }
  void Uninit() override {}
  void SetLevel(int) override {}
  bool QueryLevel(int* out) override {
    *out = 0;
    return true;
  }
  int GetLevel() override { return 0; }
  bool IsEnabled(int) override { return true; }
  void Write(base::LogRecord& record) override {
    lock_words.push_back(corvane::BlockLockWord(view_).Peek());
    texts.push_back(record.TakeText());
    // A writer that judged the overlay dead takes its word over in the middle of its parse.
    if (take_over_with != 0) corvane::BlockLockWord(view_).TakeOver(1, take_over_with);
  }
  bool DumpToFile(const std::wstring&) override { return false; }
  void Flush() override {}
  void FlushFile() override {}
  const std::wstring& GetLogDir() override { return dir_; }

  std::vector<uint64_t> lock_words;
  std::vector<std::string> texts;
  uint64_t take_over_with = 0;

 private:
  unsigned char* view_;
  std::wstring dir_;
};

TEST(ReadPerfBlockTest, LockIsHeldWithTheReadersValueWhileTheDocumentIsParsed) {
  std::vector<unsigned char> view(corvane::kPerfBlockSize);
  LockWatchingLogger logger(view.data());
  ScopedLoggerReplacement replace(&logger);
  const std::string document = R"({"cpu": "x"})";  // a type error, logged by the parse
  std::memcpy(view.data() + corvane::kPayloadOffset, document.data(), document.size());
  corvane::StoreHeaderWord(view.data(), corvane::kLengthOffset, document.size());
  PerfSnapshot snapshot;
  UiStyle style;
  corvane::BlockHeaderValues header;
  EXPECT_EQ(corvane::ReadPerfBlock(view.data(), view.size(), 1, "C:", snapshot, style, header),
            corvane::BlockRead::kNotParsedWhole);
  ASSERT_EQ(logger.texts.size(), 1u);
  EXPECT_EQ(logger.texts[0].rfind("ParseJson exception: ", 0), 0u) << logger.texts[0];
  EXPECT_EQ(logger.lock_words, std::vector<uint64_t>{1});  // taken from 0 to 1
  EXPECT_EQ(corvane::BlockLockWord(view.data()).Peek(), 0u);

  // Its word taken over meanwhile: the reader frees only its own value and leaves the word to
  // the writer that took it.
  logger.take_over_with = corvane::kConstantWriterLockValue;
  EXPECT_EQ(corvane::ReadPerfBlock(view.data(), view.size(), 1, "C:", snapshot, style, header),
            corvane::BlockRead::kNotParsedWhole);
  EXPECT_EQ(corvane::BlockLockWord(view.data()).Peek(), corvane::kConstantWriterLockValue);
}

// The protocol on a bare view, as the fuzzer drives it.
TEST(ReadPerfBlockTest, PayloadPastTheEndOfTheViewIsRefused) {
  TestLogger logger;
  ScopedLoggerReplacement replace(&logger);
  // Exactly as large as header and payload, so that reading a byte beyond is caught by the
  // address sanitizer.
  const std::string document = R"({"cpu": 6})";
  std::vector<unsigned char> view(corvane::kHeaderSize + document.size());
  std::memcpy(view.data() + corvane::kPayloadOffset, document.data(), document.size());
  PerfSnapshot snapshot;
  UiStyle style;
  corvane::BlockHeaderValues header;
  corvane::StoreHeaderWord(view.data(), corvane::kEnabledOffset, 1);
  corvane::StoreHeaderWord(view.data(), corvane::kLengthOffset, document.size() + 1);
  EXPECT_EQ(corvane::ReadPerfBlock(view.data(), view.size(), 1, "C:", snapshot, style, header),
            corvane::BlockRead::kBadLength);
  EXPECT_TRUE(header.enabled);
  EXPECT_EQ(corvane::BlockLockWord(view.data()).Peek(), 0u);
  corvane::StoreHeaderWord(view.data(), corvane::kLengthOffset, document.size());
  EXPECT_EQ(corvane::ReadPerfBlock(view.data(), view.size(), 1, "C:", snapshot, style, header),
            corvane::BlockRead::kParsed);
  EXPECT_EQ(snapshot.cpu, 6.0);
  // A view too small for the header is not touched.
  EXPECT_EQ(corvane::ReadPerfBlock(view.data(), corvane::kHeaderSize - 1, 1, "C:", snapshot, style,
                                   header),
            corvane::BlockRead::kBadLength);
  // Someone else holds the lock: nothing is read.
  corvane::BlockLockWord(view.data()).TryAcquire(corvane::kConstantWriterLockValue);
  EXPECT_EQ(corvane::ReadPerfBlock(view.data(), view.size(), 1, "C:", snapshot, style, header),
            corvane::BlockRead::kLockHeld);
}

}  // namespace
