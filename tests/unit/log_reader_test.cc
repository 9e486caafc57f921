// Reading logs back: text logs and memory logs in their file layouts, enciphered or plain,
// whole, cut short, under a wrong key, and things that are no log at all.
#include "base/log/log_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "base/log/log_ring.h"
#include "base/log/secp256k1.h"
#include "tests/support/log_layouts.h"
#include "tests/support/thread_cpu_time.h"

namespace {

using base::log_crypt::PublicKey;
using base::log_crypt::Scalar;
using base::log_reader::DecodedLog;
using base::log_reader::DecodeLog;
using base::log_reader::DecodeStatus;
using base::log_reader::LogKind;
using base::log_reader::LogLine;
using base::log_reader::NewestEnd;
using corvane::testing::MakeRecords;
using corvane::testing::MemoryLogWriter;
using corvane::testing::SampleRecord;
using corvane::testing::TextLogWriter;

struct Pair {
  Scalar secret{};
  std::vector<PublicKey> table;
};

Pair NewPair() {
  Pair pair;
  PublicKey pub;
  EXPECT_TRUE(base::log_crypt::DrawScalar(&pair.secret));
  EXPECT_TRUE(base::log_crypt::DerivePublicKey(pair.secret, &pub));
  pair.table.assign(3, pub);
  return pair;
}

DecodedLog Decode(const std::string& file, const Scalar* key) {
  return DecodeLog({reinterpret_cast<const uint8_t*>(file.data()), file.size()}, key);
}

void ExpectSame(const LogLine& got, const SampleRecord& want) {
  EXPECT_EQ(got.time, want.time);
  EXPECT_EQ(got.thread, want.thread);
  EXPECT_EQ(got.level, want.level);
  EXPECT_EQ(got.file, want.file);
  EXPECT_EQ(got.line, want.line);
  EXPECT_EQ(got.function, "");
  EXPECT_EQ(got.message, want.message);
}

// The first records of `log` are `want`; with `all`, there are no others.
void ExpectRecords(const DecodedLog& log, std::span<const SampleRecord> want, bool all = true) {
  if (all) {
    ASSERT_EQ(log.records.size(), want.size());
  } else {
    ASSERT_GE(log.records.size(), want.size());
  }
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectSame(log.records[i], want[i]);
  }
}

class LogReaderTest : public ::testing::Test {
 protected:
  Pair reader_ = NewPair();
};

TEST_F(LogReaderTest, TextLogRoundTripEncipheredAndPlain) {
  auto records = MakeRecords(500);
  records[3].message = "two\nlines with [brackets] and a tab\tinside";
  records[4].message = "";
  records[5].line = -12;
  records[6].file = "b)";  // what a source path like c:\src\a(b) leaves
  records[7].message = "\xE4\xB8\xAD\xE6\x96\x87 UTF-8";
  for (const bool encrypt : {true, false}) {
    SCOPED_TRACE(encrypt);
    TextLogWriter writer(encrypt, reader_.table);
    for (const auto& r : records) writer.Add(r);
    const std::string file = writer.Finish();
    const DecodedLog log = Decode(file, encrypt ? &reader_.secret : nullptr);
    EXPECT_EQ(log.status, DecodeStatus::kComplete) << log.problem;
    EXPECT_EQ(log.kind, LogKind::kTextLog);
    EXPECT_EQ(log.header.encrypt, encrypt);
    EXPECT_TRUE(log.opening.starts_with("\xEF\xBB\xBFlog created at: "));
    EXPECT_TRUE(log.closed);
    EXPECT_EQ(log.segments, 1u);
    EXPECT_EQ(log.stopped_at, file.size());
    ExpectRecords(log, records);
  }
}

TEST_F(LogReaderTest, TextLogAcrossSegmentRollover) {
  // Messages of random letters compress badly, so a few thousand pass the segment limit.
  std::mt19937 gen(5);
  auto records = MakeRecords(2600);
  for (auto& r : records) {
    r.message.resize(6000);
    for (auto& c : r.message) c = static_cast<char>('!' + gen() % 90);
  }
  TextLogWriter writer(true, reader_.table);
  for (const auto& r : records) writer.Add(r);
  const DecodedLog log = Decode(writer.Finish(), &reader_.secret);
  EXPECT_EQ(log.status, DecodeStatus::kComplete) << log.problem;
  EXPECT_EQ(log.segments, 2u);
  EXPECT_TRUE(log.closed);
  ExpectRecords(log, records);
}

// A text log whose writer lost the end of a segment (a write that failed) and began a new one:
// the records before the cut, the last perhaps cut short, then all after it, and the cut
// reported where it is.
TEST_F(LogReaderTest, TextLogIsReadOnPastASegmentCutByAFailedWrite) {
  const auto records = MakeRecords(600);
  for (const bool encrypt : {true, false}) {
    for (const size_t lost : {size_t{1}, size_t{5}, size_t{37}, size_t{400}, size_t{403}}) {
      for (const bool junk : {false, true}) {
        SCOPED_TRACE(testing::Message() << encrypt << " " << lost << " " << junk);
        TextLogWriter writer(encrypt, reader_.table);
        for (size_t i = 0; i < 300; ++i) writer.Add(records[i]);
        const size_t cut = writer.bytes().size() - lost;
        // A retry that the file took in part: the trailer and the start of the header.
        const std::string partial_retry =
            junk ? writer.Trailer() + writer.bytes().substr(0, 40) : "";
        writer.BreakAt(cut, partial_retry);
        for (size_t i = 300; i < records.size(); ++i) writer.Add(records[i]);
        const DecodedLog log = Decode(writer.Finish(), encrypt ? &reader_.secret : nullptr);
        EXPECT_EQ(log.status, DecodeStatus::kDamaged);
        EXPECT_TRUE(log.closed);
        ASSERT_EQ(log.skipped.size(), junk ? 2u : 1u);
        EXPECT_EQ(log.skipped.front().at, cut) << log.skipped.front().what;
        EXPECT_EQ(log.skipped.back().resumed_at, cut + partial_retry.size() + 12);
        EXPECT_NE(log.problem.find(std::to_string(cut)), std::string::npos) << log.problem;
        // Records 300 on, after the records up to the cut, the last of which may be cut short.
        ASSERT_GT(log.records.size(), 300u);
        const size_t before = log.records.size() - 300;
        ExpectRecords(log, std::span(records).first(before - 1), false);
        EXPECT_TRUE(records[before - 1].message.starts_with(log.records[before - 1].message));
        for (size_t i = 0; i < 300; ++i) ExpectSame(log.records[before + i], records[300 + i]);
      }
    }
  }
}

TEST_F(LogReaderTest, WrongOrMissingKeyIsReportedNotDecoded) {
  TextLogWriter text(true, reader_.table);
  MemoryLogWriter memory(true, reader_.table);
  for (const auto& r : MakeRecords(50)) {
    text.Add(r);
    memory.Add(r);
  }
  const Pair other = NewPair();
  for (const std::string& file : {text.Finish(), memory.File(), memory.Dump()}) {
    const DecodedLog wrong = Decode(file, &other.secret);
    EXPECT_EQ(wrong.status, DecodeStatus::kWrongKey) << wrong.problem;
    EXPECT_TRUE(wrong.records.empty());
    EXPECT_NE(wrong.problem.find("key"), std::string::npos);
    EXPECT_EQ(Decode(file, nullptr).status, DecodeStatus::kNoKey);
  }
}

TEST_F(LogReaderTest, CutShortTextLogGivesWhatWasWrittenAndWhereItStopped) {
  const auto records = MakeRecords(400);
  TextLogWriter writer(true, reader_.table);
  for (const auto& r : records) writer.Add(r);
  const std::string whole = writer.Finish();
  for (const size_t cut : {whole.size() - 12, whole.size() / 2 + 3, size_t{151}}) {
    SCOPED_TRACE(cut);
    const DecodedLog log = Decode(whole.substr(0, cut), &reader_.secret);
    EXPECT_EQ(log.status, DecodeStatus::kCutShort);
    EXPECT_EQ(log.stopped_at, cut);
    EXPECT_NE(log.problem.find(std::to_string(cut)), std::string::npos) << log.problem;
    EXPECT_EQ(log.closed, cut == whole.size() - 12);  // only the trailer is missing
    ASSERT_LE(log.records.size(), records.size());
    // Every record read is the one written; only the last may be torn.
    for (size_t i = 0; i < log.records.size(); ++i) {
      SCOPED_TRACE(i);
      if (i + 1 < log.records.size()) {
        ExpectSame(log.records[i], records[i]);
      } else {
        EXPECT_TRUE(records[i].message.starts_with(log.records[i].message))
            << log.records[i].message;
      }
    }
    if (cut > whole.size() / 2) {
      EXPECT_GT(log.records.size(), records.size() / 3);
    }
  }
}

// The newest record as a reader of the ring finds it: the written one without the last bytes
// that the encoder still holds back.
SampleRecord WithoutHeldBack(SampleRecord record, size_t held_back) {
  record.message.resize(record.message.size() - held_back);
  return record;
}

TEST_F(LogReaderTest, MemoryLogInChronologicalOrderBeforeAndAfterTheWrap) {
  for (const bool encrypt : {true, false}) {
    SCOPED_TRACE(encrypt);
    const Scalar* key = encrypt ? &reader_.secret : nullptr;
    const NewestEnd open_end = encrypt ? NewestEnd::kMayLackTail : NewestEnd::kAtFirstSpaceRun;
    MemoryLogWriter writer(encrypt, reader_.table);
    const auto records = MakeRecords(60000);  // about 5 MiB of lines: the ring wraps
    for (size_t i = 0; i < 1000; ++i) writer.Add(records[i]);
    DecodedLog log = Decode(writer.File(), key);
    EXPECT_EQ(log.status, DecodeStatus::kComplete) << log.problem;
    EXPECT_EQ(log.kind, LogKind::kMemoryLog);
    EXPECT_EQ(log.newest_end, open_end);
    ASSERT_EQ(log.records.size(), 1000u);
    ExpectRecords(log, std::span(records).first(999), false);
    ExpectSame(log.records[999], WithoutHeldBack(records[999], writer.held_back()));

    for (size_t i = 1000; i < records.size(); ++i) writer.Add(records[i]);
    ASSERT_TRUE(writer.wrapped());
    for (const std::string& file : {writer.File(), writer.Dump()}) {
      log = Decode(file, key);
      EXPECT_EQ(log.status, DecodeStatus::kComplete) << log.problem;
      EXPECT_EQ(log.newest_end, open_end);
      ASSERT_GT(log.records.size(), 20000u);
      // The newest records, oldest first, from the first whole one after the torn rest of an
      // overwritten piece up to the last one written, each whole.
      const size_t first = records.size() - log.records.size();
      ExpectRecords(log, std::span(records).subspan(first, log.records.size() - 1), false);
      ExpectSame(log.records.back(), WithoutHeldBack(records.back(), writer.held_back()));
    }
    // A writer that closes places what it held back: the newest record is whole.
    writer.Close();
    log = Decode(writer.File(), key);
    EXPECT_EQ(log.newest_end, encrypt ? NewestEnd::kWhole : open_end);
    ExpectSame(log.records.back(), records.back());
  }
}

// Finding: the newest record of a wrapped ring came back with the torn rest of an older piece
// glued on. Records of many lengths after the wrap end at every offset into older pieces.
TEST_F(LogReaderTest, NewestRecordOfAWrappedRingHasNoForeignBytes) {
  MemoryLogWriter writer(true, reader_.table);
  auto older = MakeRecords(40000);
  for (auto& r : older) r.message += std::string(54, 'u');
  for (const auto& r : older) writer.Add(r);
  ASSERT_TRUE(writer.wrapped());
  auto newer = MakeRecords(24, 50000000);
  for (size_t i = 0; i < newer.size(); ++i) {
    SCOPED_TRACE(i);
    newer[i].message += std::string(i * 5, 'v');
    writer.Add(newer[i]);
    const DecodedLog log = Decode(writer.File(), &reader_.secret);
    ASSERT_EQ(log.status, DecodeStatus::kComplete) << log.problem;
    ASSERT_EQ(log.newest_end, NewestEnd::kMayLackTail);
    ExpectSame(log.records.back(), WithoutHeldBack(newer[i], writer.held_back()));
    if (i > 0) ExpectSame(log.records[log.records.size() - 2], newer[i - 1]);
  }
}

// A process may end between any two writes of a piece into the ring, or inside one: every
// such state reads back as the ring before the piece or after it, never with foreign bytes.
TEST_F(LogReaderTest, RingEndedBetweenAnyTwoWritesOfAPieceReadsWhole) {
  constexpr uint32_t kSmallRing = 2048;  // about 28 records: the 90 below go round 3 times
  base::log_crypt::LogCrypt crypt(0, true, false, reader_.table);
  std::string file = crypt.Header() + std::string(kSmallRing, '\0') + crypt.Trailer();
  base::LogRing ring;
  ring.Attach(reinterpret_cast<uint8_t*>(file.data()) + 150, kSmallRing);
  const auto records = MakeRecords(90);
  std::string piece;
  uint64_t plain_bytes = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(i);
    crypt.Encode(records[i].Line(), piece, false);
    const base::LogRing::Placement plan = ring.Plan(piece);
    ASSERT_GT(plan.count, 0u);
    // Every prefix of the writes, and each long write cut in its middle.
    for (size_t done = 0; done < plan.count; ++done) {
      const base::LogRing::Store& next = plan.stores[done];
      std::vector<uint32_t> parts = {0};
      if (next.size >= 16) parts.push_back(next.size / 16 * 8);
      for (const uint32_t part : parts) {
        std::string copy = file;
        base::LogRing view;
        view.Attach(reinterpret_cast<uint8_t*>(copy.data()) + 150, kSmallRing);
        for (size_t k = 0; k < done; ++k) view.Apply(plan.stores[k]);
        view.Apply({next.at, part, next.bytes});
        const DecodedLog log = Decode(copy, &reader_.secret);
        SCOPED_TRACE(testing::Message()
                     << "write " << done << " of " << plan.count << ", " << part << " bytes");
        if (i == 0) {
          EXPECT_TRUE(log.records.empty());
          continue;
        }
        ASSERT_FALSE(log.records.empty());
        ExpectSame(log.records.back(), WithoutHeldBack(records[i - 1], plain_bytes % 8));
      }
    }
    ring.Place(piece);
    plain_bytes += records[i].Line().size();
    const DecodedLog log = Decode(file, &reader_.secret);
    ASSERT_FALSE(log.records.empty());
    ExpectSame(log.records.back(), WithoutHeldBack(records[i], plain_bytes % 8));
  }
  EXPECT_TRUE(ring.wrapped());
}

TEST_F(LogReaderTest, MemoryLogKeepsAnEarlierRunsBytesOutOfTheRecords) {
  MemoryLogWriter earlier(true, reader_.table);
  const auto old_records = MakeRecords(30000, 0);
  for (const auto& r : old_records) earlier.Add(r);
  // A new run opens the same file: new header, new key, old ring bytes stay beyond its pieces.
  MemoryLogWriter later(true, reader_.table, earlier.File());
  const auto new_records = MakeRecords(100, 50000000);
  for (const auto& r : new_records) later.Add(r);
  const DecodedLog log = Decode(later.File(), &reader_.secret);
  EXPECT_EQ(log.status, DecodeStatus::kComplete) << log.problem;
  ASSERT_EQ(log.records.size(), new_records.size());
  ExpectRecords(log, std::span(new_records).first(99), false);
  EXPECT_GT(log.unreadable_bytes, 1000000u);
}

TEST_F(LogReaderTest, NoLogAndDamagedFilesSaySo) {
  EXPECT_EQ(Decode("", nullptr).status, DecodeStatus::kNotALog);
  EXPECT_EQ(Decode(std::string(4000, 'x'), nullptr).status, DecodeStatus::kNotALog);

  TextLogWriter writer(true, reader_.table);
  for (const auto& r : MakeRecords(20)) writer.Add(r);
  const std::string whole = writer.Finish();
  DecodedLog log = Decode(whole + "junk after the end", &reader_.secret);
  EXPECT_EQ(log.status, DecodeStatus::kDamaged);
  EXPECT_EQ(log.stopped_at, whole.size());
  EXPECT_EQ(log.records.size(), 20u);

  std::string broken = whole;
  broken[broken.size() / 2] ^= 0x55;
  log = Decode(broken, &reader_.secret);
  EXPECT_EQ(log.status, DecodeStatus::kDamaged) << log.problem;
  EXPECT_LT(log.records.size(), 20u);
  EXPECT_GT(log.stopped_at, 150u);
}

TEST_F(LogReaderTest, PlainTextLogKeepsTheSpacesOfItsMessages) {
  // A text log has no filler: runs of spaces are message text, also at a message's end.
  auto records = MakeRecords(30);
  records[3].message += std::string(20, ' ');
  records[4].message = std::string(40, ' ') + "after spaces" + std::string(9, ' ');
  records[5].message = "two\n" + std::string(16, ' ');
  records.back().message += "   ";
  TextLogWriter writer(false, reader_.table);
  for (const auto& r : records) writer.Add(r);
  const DecodedLog log = Decode(writer.Finish(), nullptr);
  EXPECT_EQ(log.status, DecodeStatus::kComplete) << log.problem;
  ExpectRecords(log, records);
}

TEST_F(LogReaderTest, RecordLongerThanTheBoundIsReportedAsDamage) {
  auto records = MakeRecords(5);
  records[3].message = std::string(base::log_reader::kMaxRecordBytes, 'x');
  for (const bool encrypt : {true, false}) {
    SCOPED_TRACE(encrypt);
    TextLogWriter writer(encrypt, reader_.table);
    for (const auto& r : records) writer.Add(r);
    const DecodedLog log = Decode(writer.Finish(), encrypt ? &reader_.secret : nullptr);
    EXPECT_EQ(log.status, DecodeStatus::kDamaged);
    EXPECT_NE(log.problem.find("record longer than 1048576 bytes"), std::string::npos)
        << log.problem;
    ExpectRecords(log, std::span(records).first(3));
  }
}

// Files someone made: read up to a bound on what inflating gives, per record and per file.
TEST(LogReaderHostileTest, DecompressionBombStopsAtTheRecordAndTheTextBound) {
  using base::log_reader::kMaxTextBytes;
  const std::string endless_record = corvane::testing::DecompressionBomb(
      "\n[2026-01-02 03:04:05.678][1][INFO][bomb(1)]\tstart", "A", 300);
  EXPECT_LT(endless_record.size(), 1000000u);
  DecodedLog log = Decode(endless_record, nullptr);
  EXPECT_EQ(log.status, DecodeStatus::kDamaged);
  EXPECT_NE(log.problem.find("record longer than"), std::string::npos) << log.problem;
  EXPECT_TRUE(log.records.empty());

  const std::string unit =
      "\n[2026-01-02 03:04:05.678][1][INFO][bomb(2)]\t" + std::string(980, 'x');
  log = Decode(corvane::testing::DecompressionBomb("", unit, 300), nullptr);
  EXPECT_EQ(log.status, DecodeStatus::kDamaged);
  EXPECT_NE(log.problem.find("the text passes 64 MiB"), std::string::npos) << log.problem;
  EXPECT_GT(log.records.size(), kMaxTextBytes / unit.size() - 1100);
  EXPECT_LE(log.records.size(), kMaxTextBytes / unit.size());
  EXPECT_EQ(log.records.back().message, std::string(980, 'x'));
}

TEST(LogReaderHostileTest, RepeatedRecordHeadsAndPlainRingsAreReadInOnePass) {
  // Heads that never finish, and records with runs of spaces after them, as a ring that is not
  // enciphered takes for filler: each used to cost a search to the end of the text, or moving
  // the rest of it. Linear reading gets through 8 MiB of them quickly.
  const std::string header = corvane::testing::PlainSegmentHeader(false);
  const auto trailer = base::log_crypt::SegmentTrailer{1767322800}.ToBytes();
  const std::string heads[] = {
      "\n[2026-01-02 03:04:05.678][1][INFO][",
      "\n[2026-01-02 03:04:05.678][1][INFO][f(1)]\tm" + std::string(8, ' ')};
  for (const std::string& unit : heads) {
    std::string file = header;
    while (file.size() < (8u << 20)) file += unit;
    file.append(trailer.begin(), trailer.end());
    const auto start = corvane::testing::ThreadCpuTime();
    const DecodedLog log = Decode(file, nullptr);
    const auto took = corvane::testing::ThreadCpuTime() - start;
    EXPECT_EQ(log.kind, LogKind::kMemoryLog);
    // Linear reading takes a fraction of a second; a search to the end for each head, minutes.
    EXPECT_LT(took, std::chrono::seconds(3) * corvane::testing::kBuildSlowdown);
  }
}

TEST(LogReaderHostileTest, ManyDamagedPlacesAreEachResumedOnce) {
  // 200,000 empty segments, each followed by one stray byte: two damaged places per segment,
  // each going on at the next header. Each resume used to walk every place seen so far.
  constexpr size_t kSegments = 200000;
  const std::string file = corvane::testing::EmptySegmentsWithStrayBytes(kSegments);
  const size_t segment = file.size() / kSegments;
  const auto start = corvane::testing::ThreadCpuTime();
  const DecodedLog log = Decode(file, nullptr);
  const auto took = corvane::testing::ThreadCpuTime() - start;
  EXPECT_EQ(log.status, DecodeStatus::kDamaged);
  EXPECT_EQ(log.segments, kSegments);
  // The stray byte after the last trailer has no header after it: reading stops there.
  EXPECT_EQ(log.stopped_at, file.size() - 1);
  ASSERT_EQ(log.skipped.size(), 2 * kSegments - 2);
  for (size_t i = 0; i < log.skipped.size(); ++i) {
    // Each place goes on at the header of the next segment, the one after its own.
    const size_t next_header = (i / 2 + 1) * segment;
    ASSERT_EQ(log.skipped[i].resumed_at, next_header) << i;
    ASSERT_EQ(log.skipped[i].at, next_header - (i % 2 == 0 ? 13 : 1)) << i;
  }
  // One pass takes a fraction of a second; a walk over every earlier place at each resume,
  // half a minute.
  EXPECT_LT(took, std::chrono::seconds(3) * corvane::testing::kBuildSlowdown);
}

// The same on a small file, by the count of the work instead of its time: reading goes on
// past each damaged place by looking at it once, not at every place seen so far.
TEST(LogReaderHostileTest, EachDamagedPlaceIsLookedAtOnceWhereReadingGoesOn) {
  constexpr size_t kSegments = 2000;
  static size_t steps = 0;
  steps = 0;
  base::log_reader::SetResumeStepHookForTesting([] { ++steps; });
  const DecodedLog log = Decode(corvane::testing::EmptySegmentsWithStrayBytes(kSegments), nullptr);
  base::log_reader::SetResumeStepHookForTesting(nullptr);
  ASSERT_EQ(log.skipped.size(), 2 * kSegments - 2);
  EXPECT_EQ(steps, log.skipped.size());
}

TEST(LogLineEscapeTest, ControlsAndTerminalEscapesAreShownNotSent) {
  using base::log_reader::EscapeForTerminal;
  EXPECT_EQ(EscapeForTerminal("plain text\twith a tab, \xE4\xB8\xAD\xE6\x96\x87"),
            "plain text\twith a tab, \xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(EscapeForTerminal("two\nlines\r\x1b[31mred\x1b]0;title\x07\x7f"),
            "two\\nlines\\r\\x1b[31mred\\x1b]0;title\\x07\\x7f");
  // C1 controls (CSI as U+009B), bidirectional overrides, and bytes that are no UTF-8.
  EXPECT_EQ(EscapeForTerminal("\xC2\x9B"
                              "2J \xE2\x80\xAEtxt.exe \xE2\x81\xA6 \xFF\xC3"),
            "\\u009b2J \\u202etxt.exe \\u2066 \\xff\\xc3");
  EXPECT_EQ(EscapeForTerminal(std::string("nul\0end", 7)), "nul\\x00end");
}

TEST(LogRecordParseTest, RecordsAreCutAtTheirHeadsOnly) {
  const std::string text =
      "preamble\n[2026-01-02 03:04:05.678][12][NOTICE][a.cc(7)]Fn\tfirst\n[not a record]"
      "\n[2026-01-02 03:04:05.679][13][BOGUS][a.cc(8)]\tstill first"
      "\n[2026-01-02 03:04:05.680][4294967295][FATAL][b)(-3)]\t";
  const auto records = base::log_reader::ParseRecords(text);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].function, "Fn");
  EXPECT_EQ(records[0].message,
            "first\n[not a record]\n[2026-01-02 03:04:05.679][13][BOGUS][a.cc(8)]\tstill first");
  EXPECT_EQ(base::log_reader::FormatRecord(records[0]),
            "[2026-01-02 03:04:05.678][12][NOTICE][a.cc(7)]Fn\t" + records[0].message);
  EXPECT_EQ(records[1].thread, 4294967295u);
  EXPECT_EQ(records[1].file, "b)");
  EXPECT_EQ(records[1].line, -3);
  EXPECT_EQ(records[1].message, "");
}

TEST(LogRecordParseTest, ParseRecordsRejectsABadLineNumber) {
  EXPECT_TRUE(
      base::log_reader::ParseRecords("\n[2026-01-02 03:04:05.680][1][INFO][x(y)(-3)]\t").empty());
}

TEST(ReaderKeyTextTest, HexKeysAndLevels) {
  const std::string hex(64, 'a');
  const auto key = base::log_reader::ParsePrivateKey("  " + hex + "\n");
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ((*key)[0], 0xAA);
  EXPECT_EQ(base::log_reader::ToHex(*key), hex);
  EXPECT_FALSE(base::log_reader::ParsePrivateKey(hex + "0").has_value());
  EXPECT_FALSE(base::log_reader::ParsePrivateKey(std::string(63, 'a') + "g").has_value());
  EXPECT_FALSE(base::log_reader::ParsePublicKey(hex).has_value());
  EXPECT_TRUE(base::log_reader::ParsePublicKey(std::string(128, 'F')).has_value());
  EXPECT_EQ(base::log_reader::LevelNumberFromText("TRACE"), 1);
  EXPECT_EQ(base::log_reader::LevelNumberFromText("4"), 4);
  EXPECT_FALSE(base::log_reader::LevelNumberFromText("info").has_value());
  EXPECT_FALSE(base::log_reader::LevelNumberFromText("7").has_value());
}

}  // namespace
