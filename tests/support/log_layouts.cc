#include "tests/support/log_layouts.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

namespace corvane::testing {

using base::log_crypt::kSegmentHeaderSize;
using base::log_crypt::kSegmentTrailerSize;

std::string SampleRecord::Head() const {
  return "\n[" + time + "][" + std::to_string(thread) + "][" + level + "][" + file + "(" +
         std::to_string(line) + ")]\t";
}

std::vector<SampleRecord> MakeRecords(size_t count, uint64_t first_ms) {
  static const char* const kLevels[] = {"TRACE", "INFO", "NOTICE", "WARNING", "ERROR"};
  std::vector<SampleRecord> records(count);
  for (size_t i = 0; i < count; ++i) {
    const uint64_t ms = first_ms + i;
    char time[32];
    std::snprintf(time, sizeof time, "2026-01-02 %02u:%02u:%02u.%03u",
                  static_cast<unsigned>(ms / 3600000 % 24), static_cast<unsigned>(ms / 60000 % 60),
                  static_cast<unsigned>(ms / 1000 % 60), static_cast<unsigned>(ms % 1000));
    SampleRecord& r = records[i];
    r.time = time;
    r.thread = 1000 + static_cast<uint32_t>(i % 3);
    r.level = kLevels[i % 5];
    r.line = static_cast<int32_t>(i % 700);
    r.message = "record " + std::to_string(i) + " value=" + std::to_string(i * 7919 % 100003) +
                std::string(i % 17, '#');
  }
  return records;
}

std::string PlainSegmentHeader(bool compress) {
  base::log_crypt::SegmentHeader header;
  header.compress = compress;
  header.creation_time = 1767322800;
  const auto bytes = header.ToBytes();
  return std::string(bytes.begin(), bytes.end());
}

std::string DecompressionBomb(std::string_view start, std::string_view unit, size_t mebibytes) {
  constexpr size_t kMebibyte = 1 << 20;
  std::string chunk;
  while (chunk.size() + unit.size() <= kMebibyte) chunk += unit;
  z_stream z{};
  deflateInit(&z, Z_BEST_COMPRESSION);
  auto deflate_part = [&](const std::string& in) {
    std::string out(in.size() + 1024, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_SYNC_FLUSH);
    out.resize(out.size() - z.avail_out);
    return out;
  };
  const std::string opening(
      "\xEF\xBB\xBFlog created at: 2026-01-02 03:04:05.000\nLOG format: "
      "[YYYY-MM-DD hh:mm:ss.xxx][tid][LEVEL][FILE(LINE)]FUNCTION\tmessage");
  std::string file = PlainSegmentHeader(true) + deflate_part(opening + std::string(start) + chunk);
  // Once the window holds only the repeated unit, the blocks of one more chunk refer to
  // nothing else, so they fit after any chunk.
  deflate_part(chunk);
  const std::string repeated = deflate_part(chunk);
  deflateEnd(&z);
  for (size_t i = 1; i < mebibytes; ++i) file += repeated;
  const auto trailer = base::log_crypt::SegmentTrailer{1767322800}.ToBytes();
  return file + std::string(trailer.begin(), trailer.end());
}

std::string EmptySegmentsWithStrayBytes(size_t count) {
  const std::string header = PlainSegmentHeader(true);
  const auto trailer = base::log_crypt::SegmentTrailer{1767322800}.ToBytes();
  std::string segment = header + std::string(trailer.begin(), trailer.end()) + "?";
  std::string file;
  file.reserve(segment.size() * count);
  for (size_t i = 0; i < count; ++i) file += segment;
  return file;
}

TextLogWriter::TextLogWriter(bool encrypt, std::span<const base::log_crypt::PublicKey> keys)
    : crypt_(0, encrypt, encrypt, keys) {
  crypt_.Encode(
      "\xEF\xBB\xBFlog created at: 2026-01-02 03:04:05.000\nLOG format: "
      "[YYYY-MM-DD hh:mm:ss.xxx][tid][LEVEL][FILE(LINE)]FUNCTION\tmessage",
      piece_, false);
  bytes_ = crypt_.Header() + piece_;
}

void TextLogWriter::Add(const SampleRecord& record) {
  crypt_.Encode(record.Line(), piece_, false);
  bytes_ += piece_;
}

void TextLogWriter::BreakAt(size_t size, std::string_view junk) {
  bytes_.resize(size);
  bytes_ += junk;
  crypt_.BreakSegment(piece_);
  bytes_ += piece_;
}

std::string TextLogWriter::Finish() {
  crypt_.Encode("\nlog shutdown at: 2026-01-02 23:59:59.999", piece_, true);
  bytes_ += piece_ + crypt_.Trailer();
  return bytes_;
}

MemoryLogWriter::MemoryLogWriter(bool encrypt, std::span<const base::log_crypt::PublicKey> keys,
                                 std::string earlier_file)
    : crypt_(0, encrypt, false, keys), encrypt_(encrypt), file_(std::move(earlier_file)) {
  file_.resize(kSegmentHeaderSize + kRingCapacity + kSegmentTrailerSize, '\0');
  const std::string header = crypt_.Header();
  const std::string trailer = crypt_.Trailer();
  std::memcpy(file_.data(), header.data(), header.size());
  std::memcpy(file_.data() + kSegmentHeaderSize + kRingCapacity, trailer.data(), trailer.size());
  ring_.Attach(reinterpret_cast<uint8_t*>(file_.data()) + kSegmentHeaderSize, kRingCapacity);
}

void MemoryLogWriter::Add(const SampleRecord& record) {
  crypt_.Encode(record.Head(), head_, false);
  crypt_.Encode(record.message, message_, false);
  ring_.Place(head_ + message_);
  plain_bytes_ += record.Line().size();
}

void MemoryLogWriter::Close() {
  crypt_.Encode(std::string_view("\0", 1), message_, true);
  ring_.Place(message_);
  plain_bytes_ = 0;
}

std::string MemoryLogWriter::File() const {
  return file_;
}

std::string MemoryLogWriter::Dump() const {
  std::string dump = file_.substr(0, kSegmentHeaderSize);
  dump += ring_.Older();
  dump += ring_.Newer();
  dump += file_.substr(kSegmentHeaderSize + kRingCapacity);
  return dump;
}

}  // namespace corvane::testing
