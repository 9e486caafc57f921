#pragma once
// Writes files in the layouts of the program's two logs, through the real encoder, for tests of
// the reader and the tools: a text log (header, opening text, record lines, closing text,
// trailer) and a memory-log ring (header, 3 MiB ring of pieces with filler and wrap, trailer).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/log/log_crypt.h"

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

class TextLogWriter {
 public:
  TextLogWriter(bool encrypt, std::span<const base::log_crypt::PublicKey> keys);
  void Add(const SampleRecord& record);
  // Closing text and trailer; the file's bytes.
  std::string Finish();
  std::string& bytes() { return bytes_; }

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
  std::string File() const;  // the whole mapped file
  std::string Dump() const;  // header, oldest, newest, trailer
  bool wrapped() const { return wrapped_; }

 private:
  base::log_crypt::LogCrypt crypt_;
  std::string file_;
  uint32_t position_ = 0;
  bool wrapped_ = false;
  std::string head_;
  std::string message_;
};

}  // namespace corvane::testing
