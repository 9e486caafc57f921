// Memory logs as the file format describes them, written here without the program's ring,
// encoder or cipher code: header, a 3 MiB ring of pieces laid end to end (filler spaces where a
// piece does not fit, then the ring's start again), trailer. Such a ring has no end mark after
// its newest piece, as memory logs from before the mark and other writers of the format have.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/log/log_reader.h"
#include "base/log/secp256k1.h"
#include "tests/support/log_layouts.h"
#include "tests/support/reference_tea16.h"

namespace {

using base::log_crypt::PublicKey;
using base::log_crypt::Scalar;
using base::log_reader::DecodedLog;
using base::log_reader::DecodeStatus;
using base::log_reader::NewestEnd;
using corvane::testing::MakeRecords;
using corvane::testing::SampleRecord;

constexpr size_t kHeaderSize = 150;
constexpr size_t kTrailerSize = 12;
constexpr size_t kRingSize = 3145728;
constexpr uint32_t kCreationTime = 1767322800;

void Put32(uint32_t v, uint8_t* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

class FormatRingWriter {
 public:
  // Enciphered against `reader` when given (the key agreement is the curve library's).
  explicit FormatRingWriter(const PublicKey* reader)
      : file_(kHeaderSize + kRingSize + kTrailerSize, '\0') {
    auto* header = reinterpret_cast<uint8_t*>(file_.data());
    header[0] = 0x86;
    header[1] = 0x96;
    header[2] = reader != nullptr ? 1 : 0;
    Put32(kCreationTime, header + 4);
    Put32(101, header + 12);
    header[148] = 0xA6;
    header[149] = 0xB6;
    if (reader != nullptr) {
      Scalar ephemeral;
      base::log_crypt::KeyAgreement agreement;
      EXPECT_TRUE(base::log_crypt::DrawScalar(&ephemeral));
      EXPECT_TRUE(base::log_crypt::AgreeKey(ephemeral, *reader, &agreement));
      std::memcpy(header + 20, agreement.own_public.data(), 64);
      key_ = corvane::testing::ReferenceTeaKeyFromBytes(agreement.secret.data());
      encrypt_ = true;
    }
    uint8_t* trailer = header + kHeaderSize + kRingSize;
    trailer[0] = 0x88;
    trailer[1] = 0x98;
    Put32(kCreationTime, trailer + 2);
    trailer[10] = 0xA8;
    trailer[11] = 0xB8;
  }

  // One record line as one piece: enciphered, a piece is every whole block of the stream so
  // far; the bytes of a partial block wait for the next piece.
  void Add(const SampleRecord& record) {
    std::string piece = held_ + record.Line();
    held_.clear();
    if (encrypt_) {
      held_ = piece.substr(piece.size() / 8 * 8);
      piece.resize(piece.size() - held_.size());
      for (size_t at = 0; at < piece.size(); at += 8) {
        corvane::testing::ReferenceTea16Encipher(key_,
                                                 reinterpret_cast<uint8_t*>(piece.data() + at));
      }
    }
    if (piece.empty()) return;
    char* ring = file_.data() + kHeaderSize;
    if (piece.size() >= kRingSize - position_) {
      std::memset(ring + position_, ' ', kRingSize - position_);
      position_ = 0;
      wrapped_ = true;
    }
    std::memcpy(ring + position_, piece.data(), piece.size());
    position_ += piece.size();
  }

  const std::string& File() const { return file_; }
  // Header, the ring from the write position on (once wrapped), the ring up to it, trailer.
  std::string Dump() const {
    std::string dump = file_.substr(0, kHeaderSize);
    if (wrapped_) dump += file_.substr(kHeaderSize + position_, kRingSize - position_);
    dump += file_.substr(kHeaderSize, position_);
    return dump + file_.substr(kHeaderSize + kRingSize);
  }
  bool wrapped() const { return wrapped_; }
  size_t held_back() const { return held_.size(); }

 private:
  std::string file_;
  bool encrypt_ = false;
  corvane::testing::ReferenceTeaKey key_{};
  std::string held_;
  size_t position_ = 0;
  bool wrapped_ = false;
};

DecodedLog Decode(const std::string& file, const Scalar* key) {
  return base::log_reader::DecodeLog({reinterpret_cast<const uint8_t*>(file.data()), file.size()},
                                     key);
}

void ExpectSame(const base::log_reader::LogLine& got, const SampleRecord& want) {
  EXPECT_EQ(got.time, want.time);
  EXPECT_EQ(got.thread, want.thread);
  EXPECT_EQ(got.level, want.level);
  EXPECT_EQ(got.line, want.line);
  EXPECT_EQ(got.message, want.message);
}

// The records read are written ones, each whole and in writing order, up to the newest, whose
// message starts with what was written of it (without the bytes still held back).
void ExpectRunUpToTheNewest(const DecodedLog& log, const std::vector<SampleRecord>& written,
                            size_t held_back) {
  ASSERT_GT(log.records.size(), 1u);
  const size_t first = written.size() - log.records.size();
  for (size_t i = 0; i + 1 < log.records.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectSame(log.records[i], written[first + i]);
  }
  const auto& newest = log.records.back();
  const SampleRecord& last = written.back();
  EXPECT_EQ(newest.time, last.time);
  EXPECT_TRUE(newest.message.starts_with(
      std::string_view(last.message).substr(0, last.message.size() - held_back)))
      << newest.message;
}

class MemoryLogFormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base::log_crypt::DrawScalar(&secret_));
    ASSERT_TRUE(base::log_crypt::DerivePublicKey(secret_, &public_));
  }
  Scalar secret_{};
  PublicKey public_{};
};

// A ring that went round once and then took some more pieces: its newest pieces lie at its
// start, before older ones that the filler at its end closes. Read from its file or its dump,
// it gives the records oldest first and the newest last, and says that the newest record's end
// may carry bytes of the older one it overwrote in part.
TEST_F(MemoryLogFormatTest, WrappedRingWithoutEndMarkReadsOldestToNewest) {
  for (const bool encrypt : {true, false}) {
    SCOPED_TRACE(encrypt);
    FormatRingWriter writer(encrypt ? &public_ : nullptr);
    const auto records = MakeRecords(45000);
    std::vector<SampleRecord> written;
    for (const auto& r : records) {
      writer.Add(r);
      written.push_back(r);
      if (written.size() == 500) {
        // Not wrapped yet: no older bytes follow the newest piece.
        const DecodedLog log = Decode(writer.File(), encrypt ? &secret_ : nullptr);
        EXPECT_EQ(log.status, DecodeStatus::kComplete) << log.problem;
        ASSERT_EQ(log.records.size(), written.size());
        ExpectRunUpToTheNewest(log, written, writer.held_back());
      }
    }
    ASSERT_TRUE(writer.wrapped());
    for (const bool dump : {false, true}) {
      SCOPED_TRACE(dump);
      const DecodedLog log =
          Decode(dump ? writer.Dump() : writer.File(), encrypt ? &secret_ : nullptr);
      EXPECT_EQ(log.status, DecodeStatus::kComplete) << log.problem;
      // A plain dump ends with the newest piece, so nothing follows it there.
      EXPECT_EQ(log.newest_end,
                encrypt || !dump ? NewestEnd::kMayCarryOlderBytes : NewestEnd::kAtFirstSpaceRun);
      EXPECT_GT(log.records.size(), 30000u);
      ExpectRunUpToTheNewest(log, written, writer.held_back());
    }
  }
}

// Records of one millisecond lie in the ring in the order they were written; the newest of a
// plain ring, read by time, is the last of them.
TEST_F(MemoryLogFormatTest, PlainRingKeepsTheWriteOrderOfItsNewestMillisecond) {
  for (const size_t count : {size_t{40}, size_t{42000}}) {
    SCOPED_TRACE(count);
    auto records = MakeRecords(count);
    for (size_t i = count - 3; i < count; ++i) records[i].time = records[count - 4].time;
    FormatRingWriter writer(nullptr);
    for (const auto& r : records) writer.Add(r);
    EXPECT_EQ(writer.wrapped(), count > 40);
    const DecodedLog log = Decode(writer.File(), nullptr);
    ExpectRunUpToTheNewest(log, records, 0);
    ASSERT_GE(log.records.size(), 4u);
    EXPECT_EQ(log.records[log.records.size() - 2].message, records[count - 2].message);
  }
}

}  // namespace
