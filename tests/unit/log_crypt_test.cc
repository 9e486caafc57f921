// The log encoder: frames, key agreement, the cipher, carried bytes, padding, deflate and the
// segment rollover.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/log/log_crypt.h"
#include "base/log/secp256k1.h"
#include "base/log/tea16.h"
#include "base/os/random.h"
#include "tests/support/reference_tea16.h"

namespace {

using namespace base::log_crypt;

// A reader key pair made for the test, so the tests do not depend on the built-in keys.
struct ReaderPair {
  Scalar private_key{};
  PublicKey public_key{};
  std::vector<PublicKey> table;
};

ReaderPair MakeReaderPair() {
  ReaderPair pair;
  EXPECT_TRUE(DrawScalar(&pair.private_key));
  EXPECT_TRUE(DerivePublicKey(pair.private_key, &pair.public_key));
  pair.table.assign(kReaderKeyCount, pair.public_key);
  return pair;
}

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

SegmentHeader HeaderOf(const LogCrypt& crypt) {
  const auto header = SegmentHeader::Parse(Bytes(crypt.Header()));
  EXPECT_TRUE(header.has_value());
  return header.value_or(SegmentHeader{});
}

TeaKey ReaderKey(const ReaderPair& pair, const LogCrypt& crypt) {
  KeyAgreement agreement;
  EXPECT_TRUE(AgreeKey(pair.private_key, HeaderOf(crypt).ephemeral_key, &agreement));
  return TeaKeyFromBytes(agreement.secret.data());
}

std::string Decipher(const TeaKey& key, std::string data) {
  EXPECT_EQ(data.size() % kTeaBlockSize, 0u);
  Tea16DecipherBlocks(key, reinterpret_cast<uint8_t*>(data.data()), data.size() / 8);
  return data;
}

std::string Inflate(const std::string& compressed) {
  z_stream z{};
  EXPECT_EQ(inflateInit(&z), Z_OK);
  std::string out;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = static_cast<uInt>(compressed.size());
  char buffer[4096];
  int rc = Z_OK;
  while (rc == Z_OK && z.avail_in > 0) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    rc = inflate(&z, Z_SYNC_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
  }
  EXPECT_TRUE(rc == Z_OK || rc == Z_BUF_ERROR) << rc;
  EXPECT_EQ(z.avail_in, 0u);
  inflateEnd(&z);
  return out;
}

std::string RandomText(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

TEST(SegmentFramesTest, HeaderAndTrailerLayout) {
  const auto before = static_cast<uint32_t>(time(nullptr));
  const LogCrypt crypt(1, false, true);
  const std::string h = crypt.Header();
  const std::string t = crypt.Trailer();
  ASSERT_EQ(h.size(), 150u);
  ASSERT_EQ(t.size(), 12u);
  EXPECT_EQ(h.substr(0, 4), std::string("\x86\x96\x00\x01", 4));
  EXPECT_EQ(h.substr(8, 12), std::string("\0\0\0\0\x65\0\0\0\x01\0\0\0", 12));
  EXPECT_EQ(h.substr(20, 128), std::string(128, '\0'));  // no key, then zeros
  EXPECT_EQ(h.substr(148), "\xA6\xB6");
  EXPECT_EQ(t.substr(0, 2), "\x88\x98");
  EXPECT_EQ(t.substr(2, 4), h.substr(4, 4));  // the same creation time
  EXPECT_EQ(t.substr(6), std::string("\0\0\0\0\xA8\xB8", 6));
  const SegmentHeader parsed = HeaderOf(crypt);
  EXPECT_GE(parsed.creation_time, before);
  EXPECT_LE(parsed.creation_time, before + 2);
  EXPECT_EQ(parsed.key_index, 1u);
  ASSERT_TRUE(SegmentTrailer::Parse(Bytes(t)).has_value());
  EXPECT_EQ(SegmentTrailer::Parse(Bytes(t))->creation_time, parsed.creation_time);

  std::string broken = h;
  broken[12] = 100;  // the constant 101 is part of what makes a header
  EXPECT_FALSE(SegmentHeader::Parse(Bytes(broken)).has_value());
  EXPECT_FALSE(SegmentHeader::Parse(Bytes(h.substr(0, 149))).has_value());
}

TEST(KeyAgreementTest, KnownMultipleOfTheGenerator) {
  Scalar two{};
  two[31] = 2;
  PublicKey twice_g;
  ASSERT_TRUE(DerivePublicKey(two, &twice_g));
  const uint8_t expected_x[32] = {0xC6, 0x04, 0x7F, 0x94, 0x41, 0xED, 0x7D, 0x6D, 0x30, 0x45, 0x40,
                                  0x6E, 0x95, 0xC0, 0x7C, 0xD8, 0x5C, 0x77, 0x8E, 0x4B, 0x8C, 0xEF,
                                  0x3C, 0xA7, 0xAB, 0xAC, 0x09, 0xB9, 0x5C, 0x70, 0x9E, 0xE5};
  EXPECT_EQ(std::memcmp(twice_g.data(), expected_x, 32), 0);
  EXPECT_TRUE(IsValidPoint(twice_g));
}

TEST(KeyAgreementTest, BothSidesAgreeAndBadInputsAreRefused) {
  const ReaderPair reader = MakeReaderPair();
  Scalar ephemeral;
  ASSERT_TRUE(DrawScalar(&ephemeral));
  KeyAgreement writer;
  ASSERT_TRUE(AgreeKey(ephemeral, reader.public_key, &writer));
  KeyAgreement back;
  ASSERT_TRUE(AgreeKey(reader.private_key, writer.own_public, &back));
  EXPECT_EQ(writer.secret, back.secret);
  EXPECT_EQ(back.own_public, reader.public_key);

  Scalar zero{};
  Scalar order_minus_one = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                            0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xBA, 0xAE, 0xDC, 0xE6, 0xAF, 0x48,
                            0xA0, 0x3B, 0xBF, 0xD2, 0x5E, 0x8C, 0xD0, 0x36, 0x41, 0x40};
  EXPECT_FALSE(ScalarInRange(zero));
  EXPECT_TRUE(ScalarInRange(order_minus_one));
  Scalar order = order_minus_one;
  order[31] = 0x41;
  EXPECT_FALSE(ScalarInRange(order));
  EXPECT_FALSE(AgreeKey(order, reader.public_key, &back));

  PublicKey off_curve = reader.public_key;
  off_curve[63] ^= 1;
  EXPECT_FALSE(IsValidPoint(off_curve));
  EXPECT_FALSE(AgreeKey(ephemeral, off_curve, &back));
}

TEST(SystemRandomTest, FillsWithFreshBytes) {
  std::array<uint8_t, 32> a{};
  std::array<uint8_t, 32> b{};
  ASSERT_TRUE(base::os::FillSystemRandom(a.data(), a.size()));
  ASSERT_TRUE(base::os::FillSystemRandom(b.data(), b.size()));
  EXPECT_NE(a, b);
  EXPECT_NE(a, (std::array<uint8_t, 32>{}));
}

TEST(Tea16Test, BlocksAtOnceMatchOneAtATimeAndDecipherBack) {
  const uint8_t secret[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const TeaKey key = TeaKeyFromBytes(secret);
  const std::string plain = RandomText(8 * 19, 7);  // two vectors' worth and a tail
  std::string together = plain;
  Tea16EncipherBlocks(key, reinterpret_cast<uint8_t*>(together.data()), 19);
  std::string single = plain;
  for (size_t i = 0; i < 19; ++i) {
    Tea16EncipherBlocks(key, reinterpret_cast<uint8_t*>(single.data()) + 8 * i, 1);
  }
  EXPECT_EQ(together, single);
  EXPECT_NE(together, plain);
  // No chaining: equal plain blocks give equal cipher blocks.
  std::string twice(16, 'x');
  Tea16EncipherBlocks(key, reinterpret_cast<uint8_t*>(twice.data()), 2);
  EXPECT_EQ(twice.substr(0, 8), twice.substr(8));
  EXPECT_EQ(Decipher(key, together), plain);
}

TEST(Tea16Test, SixteenCyclesOfTheRoundFunction) {
  // The rounds written out once more, straight from the algorithm, for one block.
  const uint32_t k[4] = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
  uint32_t y = 0x11223344;
  uint32_t z = 0x55667788;
  uint32_t sum = 0;
  for (int i = 0; i < 16; ++i) {
    sum += 0x9E3779B9;
    y += ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    z += ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
  }
  uint8_t key_bytes[16];
  uint8_t block[8] = {0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55};
  for (int i = 0; i < 4; ++i) {
    for (int b = 0; b < 4; ++b) key_bytes[4 * i + b] = static_cast<uint8_t>(k[i] >> (8 * b));
  }
  Tea16EncipherBlocks(TeaKeyFromBytes(key_bytes), block, 1);
  uint32_t got_y = 0;
  uint32_t got_z = 0;
  for (int b = 3; b >= 0; --b) {
    got_y = got_y << 8 | block[b];
    got_z = got_z << 8 | block[4 + b];
  }
  EXPECT_EQ(got_y, y);
  EXPECT_EQ(got_z, z);
}

// The blocks of `data` enciphered by the reference, independent of the library's vector code.
std::string ReferenceEncipher(const uint8_t key_bytes[16], std::string data) {
  const auto key = corvane::testing::ReferenceTeaKeyFromBytes(key_bytes);
  for (size_t at = 0; at + 8 <= data.size(); at += 8) {
    corvane::testing::ReferenceTea16Encipher(key, reinterpret_cast<uint8_t*>(data.data()) + at);
  }
  return data;
}

// Every block count from none to past two passes of the widest vectors, so that whole passes,
// a padded partial pass and a single block all meet the reference.
void ExpectWidthMatchesReference(TeaWidth width) {
  const uint8_t secret[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5};
  const TeaKey key = TeaKeyFromBytes(secret);
  for (size_t blocks = 0; blocks <= 40; ++blocks) {
    const std::string plain = RandomText(8 * blocks, static_cast<unsigned>(blocks));
    std::string data = plain;
    Tea16EncipherBlocksAs(width, key, reinterpret_cast<uint8_t*>(data.data()), blocks);
    ASSERT_EQ(data, ReferenceEncipher(secret, plain)) << blocks << " blocks";
    Tea16DecipherBlocksAs(width, key, reinterpret_cast<uint8_t*>(data.data()), blocks);
    ASSERT_EQ(data, plain) << blocks << " blocks";
  }
}

TEST(Tea16WidthTest, Sse2GivesTheReferenceBytes) {
  ExpectWidthMatchesReference(TeaWidth::kSse2);
}

TEST(Tea16WidthTest, Avx2GivesTheReferenceBytes) {
  if (!TeaWidthAvailable(TeaWidth::kAvx2)) GTEST_SKIP() << "this processor has no AVX2";
  ExpectWidthMatchesReference(TeaWidth::kAvx2);
  EXPECT_EQ(WidestTeaWidth(), TeaWidth::kAvx2);
}

TEST(LogCryptTest, BothSwitchesOffPassesInputThrough) {
  LogCrypt crypt(0, false, false);
  ASSERT_TRUE(crypt.ready());
  EXPECT_EQ(HeaderOf(crypt).ephemeral_key, PublicKey{});
  const std::string big(1 << 20, 'a');
  std::string out;
  for (int i = 0; i < 12; ++i) {  // more than a segment's worth: no frames appear
    ASSERT_TRUE(crypt.Encode(big, out, false));
    ASSERT_EQ(out, big);
  }
  ASSERT_TRUE(crypt.Encode("tail", out, true));
  EXPECT_EQ(out, "tail");
}

TEST(LogCryptTest, CarriesThirteenBytesAsOneBlockAndFive) {
  const ReaderPair reader = MakeReaderPair();
  LogCrypt crypt(0, true, false, reader.table);
  ASSERT_TRUE(crypt.ready());
  const SegmentHeader header = HeaderOf(crypt);
  EXPECT_TRUE(header.encrypt);
  EXPECT_FALSE(header.compress);
  EXPECT_TRUE(IsValidPoint(header.ephemeral_key));
  const TeaKey key = ReaderKey(reader, crypt);

  std::string first;
  ASSERT_TRUE(crypt.Encode("0123456789abc", first, false));
  ASSERT_EQ(first.size(), 8u);
  EXPECT_EQ(Decipher(key, first), "01234567");
  std::string second;
  ASSERT_TRUE(crypt.Encode("", second, true));
  ASSERT_EQ(second.size(), 8u);
  EXPECT_EQ(Decipher(key, second), std::string("89abc\0\0\0", 8));
  // Nothing is held back after a final call; an exact block needs no padding.
  ASSERT_TRUE(crypt.Encode("", second, true));
  EXPECT_TRUE(second.empty());
  ASSERT_TRUE(crypt.Encode("ABCDEFGH", second, true));
  EXPECT_EQ(Decipher(key, second), "ABCDEFGH");
}

TEST(LogCryptTest, CipherStreamIsTheConcatenationOfTheInputs) {
  const ReaderPair reader = MakeReaderPair();
  LogCrypt crypt(2, true, false, reader.table);
  const TeaKey key = ReaderKey(reader, crypt);
  std::string all_plain;
  std::string all_cipher;
  std::string out;
  for (int i = 0; i < 50; ++i) {
    const std::string piece = "\n[record " + std::to_string(i) + "]" + std::string(i % 11, '.');
    all_plain += piece;
    ASSERT_TRUE(crypt.Encode(piece, out, false));
    EXPECT_EQ(out.size() % 8, 0u);
    all_cipher += out;
  }
  ASSERT_TRUE(crypt.Encode("", out, true));
  all_cipher += out;
  all_plain.append((8 - all_plain.size() % 8) % 8, '\0');
  EXPECT_EQ(Decipher(key, all_cipher), all_plain);
}

TEST(LogCryptTest, EncodersBuiltApartHaveTheirOwnKeys) {
  const ReaderPair reader = MakeReaderPair();
  LogCrypt a(0, true, true, reader.table);
  LogCrypt b(0, true, true, reader.table);
  EXPECT_NE(HeaderOf(a).ephemeral_key, HeaderOf(b).ephemeral_key);
  std::string out_a;
  std::string out_b;
  ASSERT_TRUE(a.Encode("same text", out_a, true));
  ASSERT_TRUE(b.Encode("same text", out_b, true));
  EXPECT_NE(out_a, out_b);
}

TEST(LogCryptTest, CompressedRecordsInflateAfterEachCall) {
  const ReaderPair reader = MakeReaderPair();
  LogCrypt crypt(0, true, true, reader.table);
  const TeaKey key = ReaderKey(reader, crypt);
  std::string plain;
  std::string cipher;
  std::string out;
  for (int i = 0; i < 300; ++i) {
    const std::string line = "\n[2026-01-02 03:04:05.678][4321][INFO][file.cc(" +
                             std::to_string(i) + ")]\tvalue " + std::to_string(i * 37);
    plain += line;
    ASSERT_TRUE(crypt.Encode(line, out, false));
    cipher += out;
  }
  ASSERT_TRUE(crypt.Encode("\nbye", out, true));
  cipher += out;
  plain += "\nbye";
  std::string compressed = Decipher(key, cipher);
  // The final call's padding follows the last sync-flush marker.
  const size_t marker = compressed.rfind(std::string("\0\0\xFF\xFF", 4));
  ASSERT_NE(marker, std::string::npos);
  EXPECT_LT(compressed.size() - (marker + 4), 8u);
  EXPECT_EQ(compressed.substr(marker + 4), std::string(compressed.size() - marker - 4, '\0'));
  compressed.resize(marker + 4);
  EXPECT_EQ(Inflate(compressed), plain);
  EXPECT_LT(compressed.size(), plain.size() / 3);
}

TEST(LogCryptTest, CompressOnlyEndsEveryCallOnASyncPoint) {
  LogCrypt crypt(0, false, true);
  std::string stream;
  std::string out;
  for (const char* text : {"first line", "second, longer line with more words", ""}) {
    ASSERT_TRUE(crypt.Encode(text, out, false));
    stream += out;
    // Inflatable up to here, with the text so far.
    if (!out.empty()) {
      EXPECT_EQ(out.substr(out.size() - 4), std::string("\0\0\xFF\xFF", 4));
    }
  }
  EXPECT_EQ(stream.substr(0, 2), "\x78\x9C");
  EXPECT_EQ(Inflate(stream), "first linesecond, longer line with more words");
}

TEST(LogCryptTest, RollsOverToANewStreamAfterTheSegmentLimit) {
  const ReaderPair reader = MakeReaderPair();
  LogCrypt crypt(0, true, true, reader.table);
  const TeaKey key = ReaderKey(reader, crypt);
  const std::string frames = crypt.Trailer() + crypt.Header();
  // Random bytes do not compress: each 64 KiB record gives a little more than 64 KiB.
  const std::string record = RandomText(65536, 11);
  std::string segment;
  std::string out;
  size_t calls = 0;
  do {
    ASSERT_TRUE(crypt.Encode(record, out, false));
    ++calls;
    segment += out;
    ASSERT_LT(calls, 200u);
  } while (out.size() < frames.size() || out.substr(out.size() - frames.size()) != frames);
  EXPECT_EQ(calls, 160u);  // 160 records of a bit over 65536 bytes pass 10485760
  segment.resize(segment.size() - frames.size());
  ASSERT_EQ(segment.size() % 8, 0u);  // the segment end padded its last block
  std::string compressed = Decipher(key, segment);
  EXPECT_EQ(compressed.substr(0, 2), "\x78\x9C");
  while (!compressed.empty() && compressed.back() == '\0') compressed.pop_back();
  compressed += std::string(2, '\0');  // the marker's zeros were stripped as well
  compressed.resize(compressed.rfind('\xFF') + 1);
  EXPECT_EQ(Inflate(compressed).size(), calls * record.size());

  // The next record starts a new zlib stream, with its own header, under the same key.
  ASSERT_TRUE(crypt.Encode("after the rollover", out, true));
  std::string next = Decipher(key, out);
  EXPECT_EQ(next.substr(0, 2), "\x78\x9C");
  next.resize(next.rfind('\xFF') + 1);
  EXPECT_EQ(Inflate(next), "after the rollover");
  EXPECT_TRUE(crypt.ready());
}

// The stored bytes of one encoder split at its segment frames, each segment deciphered with
// `key` when there is one.
std::vector<std::string> SegmentsOf(const std::string& stored, const LogCrypt& crypt,
                                    const TeaKey* key) {
  const std::string frames = crypt.Trailer() + crypt.Header();
  std::vector<std::string> segments;
  size_t start = 0;
  for (;;) {
    const size_t end = stored.find(frames, start);
    const std::string part = stored.substr(start, end - start);
    segments.push_back(key != nullptr ? Decipher(*key, part) : part);
    if (end == std::string::npos) return segments;
    start = end + frames.size();
  }
}

// Records written in groups give the bytes of one call per record: the same compressed stream,
// the same segment end (after the record that passes the limit, padded there), and the same
// bytes carried on to the next call. Two encoders with the reader's key: one called per record,
// one per group of records.
TEST(LogCryptTest, EncodeManyGivesTheBytesOfOneEncodePerInput) {
  const ReaderPair reader = MakeReaderPair();
  std::vector<std::string> records;
  for (int i = 0; i < 220; ++i) {  // 176 random records: the segment limit is passed once
    records.push_back(i % 5 != 0 ? RandomText(65536, i) : "\nline " + std::to_string(i));
  }
  records.push_back("");
  for (const bool encrypt : {true, false}) {
    LogCrypt single(0, encrypt, true, reader.table);
    LogCrypt grouped(0, encrypt, true, reader.table);
    std::string by_one;
    std::string by_group;
    std::string out;
    for (const std::string& record : records) {
      ASSERT_TRUE(single.Encode(record, out, false));
      by_one += out;
    }
    std::vector<std::string_view> group;
    for (size_t i = 0; i < records.size(); ++i) {
      group.push_back(records[i]);
      if (group.size() == 7 || i + 1 == records.size()) {
        ASSERT_TRUE(grouped.EncodeMany(group, out));
        by_group += out;
        group.clear();
      }
    }
    for (LogCrypt* crypt : {&single, &grouped}) {
      ASSERT_TRUE(crypt->Encode("tail", out, true));
      (crypt == &single ? by_one : by_group) += out;
    }
    const TeaKey single_key = encrypt ? ReaderKey(reader, single) : TeaKey{};
    const TeaKey grouped_key = encrypt ? ReaderKey(reader, grouped) : TeaKey{};
    const auto one = SegmentsOf(by_one, single, encrypt ? &single_key : nullptr);
    const auto many = SegmentsOf(by_group, grouped, encrypt ? &grouped_key : nullptr);
    ASSERT_EQ(one.size(), 2u) << "encrypt " << encrypt;  // the limit was passed once
    EXPECT_TRUE(one == many) << "encrypt " << encrypt;
  }
}

// A reader of the stored bytes cut anywhere gets every input listed at or before the cut
// whole: the bytes the cipher holds back and a cut block are not readable. Every input is
// listed once, by the call that stores its last byte, or counted as held until then. Groups of
// none to three short inputs, so that some calls store nothing and some inputs end in a
// block they share with the next.
TEST(LogCryptTest, EncodeManyListsEachInputWhereItReadsBackWhole) {
  const ReaderPair reader = MakeReaderPair();
  for (const bool compress : {false, true}) {
    SCOPED_TRACE(compress);
    LogCrypt crypt(0, true, compress, reader.table);
    const TeaKey key = ReaderKey(reader, crypt);
    std::string stored;
    std::string text;
    std::vector<size_t> listed_ends;  // where each listed input reads back, in `stored`
    std::vector<size_t> text_ends;    // where each input ends in `text`
    std::string out;
    std::vector<size_t> call_ends;
    for (int call = 0; call < 60; ++call) {
      std::vector<std::string> inputs;
      for (int i = 0; i < call % 4; ++i) {
        inputs.push_back("\n[" + std::to_string(text_ends.size() + inputs.size()) + "]" +
                         std::string(call * 5 % 13, 'x'));
      }
      const std::vector<std::string_view> views(inputs.begin(), inputs.end());
      ASSERT_TRUE(crypt.EncodeMany(views, out, &call_ends));
      for (const size_t end : call_ends) {
        ASSERT_LE(end, out.size());
        listed_ends.push_back(stored.size() + end);
      }
      stored += out;
      for (const std::string& input : inputs) text_ends.push_back((text += input).size());
      ASSERT_EQ(listed_ends.size() + crypt.HeldInputs(), text_ends.size());
    }
    ASSERT_GT(crypt.HeldInputs(), 0u) << "the last inputs should end in held bytes";
    for (size_t cut = 0; cut <= stored.size(); ++cut) {
      std::string readable = Decipher(key, stored.substr(0, cut - cut % kTeaBlockSize));
      if (compress) readable = Inflate(readable);
      const auto listed = std::upper_bound(listed_ends.begin(), listed_ends.end(), cut);
      const size_t whole =
          listed == listed_ends.begin() ? 0 : text_ends[listed - listed_ends.begin() - 1];
      ASSERT_GE(readable.size(), whole) << "cut at " << cut;
      ASSERT_EQ(readable.substr(0, whole), text.substr(0, whole)) << "cut at " << cut;
    }
  }
}

// Releasing the held bytes between calls, at every size of what is held: everything encoded so
// far reads back whole at once, and the stream goes on as one.
TEST(LogCryptTest, ReleaseHeldMakesEveryInputReadableAndTheStreamGoesOn) {
  const ReaderPair reader = MakeReaderPair();
  LogCrypt crypt(0, true, true, reader.table);
  const TeaKey key = ReaderKey(reader, crypt);
  std::string stored;
  std::string text;
  std::string out;
  std::vector<size_t> ends;
  std::vector<size_t> held_sizes_seen;
  for (int call = 0; call < 64; ++call) {
    const std::string input = "\n[" + std::to_string(call) + "]" + RandomText(call % 11, call);
    const std::string_view view = input;
    ASSERT_TRUE(crypt.EncodeMany({&view, 1}, out, &ends));
    stored += out;
    text += input;
    held_sizes_seen.push_back(crypt.HeldInputs());
    if (call % 3 != 0) continue;
    const bool held = crypt.HeldInputs() > 0;
    EXPECT_EQ(crypt.ReleaseHeld(out), held);
    stored += out;
    EXPECT_EQ(crypt.HeldInputs(), 0u);
    ASSERT_EQ(stored.size() % kTeaBlockSize, 0u);
    ASSERT_EQ(Inflate(Decipher(key, stored)), text) << "after call " << call;
  }
  EXPECT_NE(std::count(held_sizes_seen.begin(), held_sizes_seen.end(), 1u), 0);

  // Only a compressed, enciphered stream has room for filler that reads as nothing.
  for (const bool compress : {false, true}) {
    LogCrypt other(0, !compress, compress, reader.table);
    ASSERT_TRUE(other.Encode("abc", out, false));
    EXPECT_FALSE(other.ReleaseHeld(out));
    EXPECT_TRUE(out.empty());
  }
}

TEST(LogCryptTest, UnusableSetUpGivesAnEncoderThatNeverWrites) {
  const ReaderPair reader = MakeReaderPair();
  PublicKey off_curve = reader.public_key;
  off_curve[0] ^= 0x40;
  const std::vector<PublicKey> bad_table(3, off_curve);
  for (auto* crypt : {new LogCrypt(3, true, true, reader.table), new LogCrypt(3, true, false),
                      new LogCrypt(0, true, true, bad_table)}) {
    EXPECT_FALSE(crypt->ready());
    std::string out = "untouched";
    EXPECT_FALSE(crypt->Encode("text", out, true));
    EXPECT_EQ(out, "untouched");
    delete crypt;
  }
  // Without enciphering the key index does not matter.
  EXPECT_TRUE(LogCrypt(3, false, true).ready());
}

TEST(LogCryptTest, BuiltInKeysAreValidPoints) {
  for (const PublicKey& key : BuiltInReaderKeys()) EXPECT_TRUE(IsValidPoint(key));
  EXPECT_TRUE(LogCrypt(0, true, true).ready());
}

}  // namespace
