#pragma once
// Writes files in the layouts of the program's two logs, through the real encoder, for tests of
// the reader and the tools: a text log (header, opening text, record lines, closing text,
// trailer) and a memory-log ring (header, 3 MiB ring of pieces with filler, wrap and end mark,
// trailer).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/log/log_crypt.h"
#include "base/log/log_ring.h"

namespace corvane::testing {

inline constexpr uint32_t kRingCapacity = 3145728;

struct SampleRecord {
  std::string time = "2026-01-02 03:04:05.678";
  uint32_t thread = 4321;
  std::string level = "INFO";
  std::string file = "sample.cc";
  int32_t line = 1;
  std::string message;

  std::string Head() const;  // "\n[time][thread][level][file(line)]\t"
  std::string Line() const { return Head() + message; }
};

// Records with rising times (one per millisecond from `first_ms`) and varied messages.
std::vector<SampleRecord> MakeRecords(size_t count, uint64_t first_ms = 0);

// A compressed text log, not enciphered, whose deflate data, about
// 2.5 KB per MiB, inflates to the opening text, `start`, and then `unit` over and over for
// `mebibytes` MiB. Each MiB is one copy of the same deflate blocks, which makes it cheap to make.
std::string DecompressionBomb(std::string_view start, std::string_view unit, size_t mebibytes);

// A segment header that is not enciphered, `compress` as given.
std::string PlainSegmentHeader(bool compress);

// A compressed text log, not enciphered, of `count` empty segments, each closed by its trailer
// and followed by one stray byte: two damaged places per segment (the segment breaks off, and
// bytes follow its trailer), each of which reading goes past to the next header.
std::string EmptySegmentsWithStrayBytes(size_t count);

class TextLogWriter {
 public:
  TextLogWriter(bool encrypt, std::span<const base::log_crypt::PublicKey> keys);
  void Add(const SampleRecord& record);
  // Keeps the file's first `size` bytes, as a write that failed there leaves it, then writes
  // `junk` (the part of a retry that reached the file) and begins a new segment, as the text
  // sink does once the file takes bytes again.
  void BreakAt(size_t size, std::string_view junk = {});
  // Closing text and trailer; the file's bytes.
  std::string Finish();
  std::string& bytes() { return bytes_; }
  std::string Trailer() const { return crypt_.Trailer(); }

 private:
  base::log_crypt::LogCrypt crypt_;
  std::string bytes_;
  std::string piece_;
};

class MemoryLogWriter {
 public:
  MemoryLogWriter(bool encrypt, std::span<const base::log_crypt::PublicKey> keys,
                  std::string earlier_file = {});
  void Add(const SampleRecord& record);
  // What the writer still holds back of the newest piece, padded, as a closing memory log
  // places it.
  void Close();
  std::string File() const;  // the whole mapped file
  std::string Dump() const;  // header, oldest, newest, trailer
  bool wrapped() const { return ring_.wrapped(); }
  // How many bytes of the newest line the encoder still holds back (0 when not enciphering).
  size_t held_back() const { return encrypt_ ? plain_bytes_ % 8 : 0; }

 private:
  base::log_crypt::LogCrypt crypt_;
  bool encrypt_;
  uint64_t plain_bytes_ = 0;
  std::string file_;
  base::LogRing ring_;  // the program's own placement, over file_'s ring bytes
  std::string head_;
  std::string message_;
};

}  // namespace corvane::testing
