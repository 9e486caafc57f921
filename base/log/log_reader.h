#pragma once
// Reads back what the log encoder stored: a text log, a memory-log file or a memory-log dump.
// The file is split into segments at the encoder's trailer and header, the key is rebuilt from
// the reader's private key and the header's ephemeral public key, the segments are
// deciphered and inflated, and the plain text is cut into records.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/log/log_crypt.h"

namespace base::log_reader {

using base::log_crypt::PublicKey;
using base::log_crypt::Scalar;

// One record line: "\n[time][thread][LEVEL][file(line)]function\tmessage".
struct LogLine {
  std::string time;  // "YYYY-MM-DD hh:mm:ss.mmm", local time of the writer
  uint32_t thread = 0;
  std::string level;
  std::string file;
  int32_t line = 0;
  std::string function;
  std::string message;
};

enum class LogKind { kTextLog, kMemoryLog };

// Bounds that keep a hostile file from taking unbounded memory: one record line, and all the
// text that inflating a file may give. A log that passes either is read up to there and
// reported as damaged.
inline constexpr size_t kMaxRecordBytes = size_t{1} << 20;
inline constexpr size_t kMaxTextBytes = size_t{64} << 20;

// What the reader knows of where the newest record of a memory log ends.
enum class NewestEnd {
  kWhole,  // the writer closed the log (or there is no record): the newest record is whole
  // Read as a running or crashed writer left it: the encoder may still have held up to 7 of
  // the record's last bytes (a record head cut there is left out).
  kMayLackTail,
  // Not enciphered: the record ends at its first run of 8 spaces, the ring's end mark, which
  // cannot be told from 8 spaces of the message itself.
  kAtFirstSpaceRun,
  // The ring has no end mark (written before the mark existed, or by another writer of the
  // format): the records are put in order by their times, and the newest one's end may carry
  // bytes of an older record, since nothing shows where it ends.
  kMayCarryOlderBytes,
};

enum class DecodeStatus {
  kComplete,  // every segment closed by its trailer
  kCutShort,  // the file ends inside a segment: everything readable was read
  kDamaged,   // bytes that cannot be decoded; what is readable before and after them was read
  kNotALog,   // no segment header at the start
  kNoKey,     // enciphered, and no private key was given
  kWrongKey,  // the key deciphers to no log text
};

// Damage that reading went past. A writer whose file failed for a while closes the segment
// that the failure cut and begins a new one; reading goes on at that segment's header.
struct SkippedDamage {
  uint64_t at = 0;          // file offset where the readable data ends
  uint64_t resumed_at = 0;  // file offset of the segment header where reading went on; 0: none
  std::string what;
};

struct DecodedLog {
  DecodeStatus status = DecodeStatus::kNotALog;
  std::string problem;      // one line on what went wrong and where; empty when complete
  uint64_t stopped_at = 0;  // file offset where reading stopped (the file size when read to it)
  // Damage that reading went past, in file order. It makes the status kDamaged also when the
  // rest of the file was read to its end.
  std::vector<SkippedDamage> skipped;
  LogKind kind = LogKind::kTextLog;
  base::log_crypt::SegmentHeader header;
  size_t segments = 0;
  // Text log: the opening text before the first record, and whether the closing text came.
  std::string opening;
  bool closed = false;
  // Memory log: bytes in the ring that hold no record (never written, filler, the end mark,
  // the torn rest of an overwritten record, or left by an earlier run under another key).
  uint64_t unreadable_bytes = 0;
  NewestEnd newest_end = NewestEnd::kWhole;
  std::vector<LogLine> records;  // oldest first
};

// Decodes a whole file. `private_key` may be null for a log that is not enciphered.
DecodedLog DecodeLog(std::span<const uint8_t> file, const Scalar* private_key);

// The records in `text`, in order; text outside any record is skipped.
std::vector<LogLine> ParseRecords(std::string_view text);

// The record's line as the log holds it, without the leading line feed.
std::string FormatRecord(const LogLine& record);

// True for the record in which the text log counts the lines it could not write (a full disk):
// a log that holds one lacks records.
bool IsLossRecord(const LogLine& record);

// `line` fit for a terminal: control characters (but tab), C1 controls, bidirectional
// overrides and bytes that are no UTF-8 are written as escapes ("\n", "\x1b", "\u202e");
// everything else as it is.
std::string EscapeForTerminal(std::string_view line);

// Level number (0..6) of a level text such as "INFO", or of a number given as text; nothing
// for anything else.
std::optional<int> LevelNumberFromText(std::string_view text);

// Keys as text: a private key is 64 hexadecimal digits, a public key 128 (X then Y); white
// space around them is ignored.
std::optional<Scalar> ParsePrivateKey(std::string_view text);
std::optional<PublicKey> ParsePublicKey(std::string_view text);
std::string ToHex(std::span<const uint8_t> bytes);

// For tests: `hook` runs each time reading past a damaged place looks at one of the places
// still waiting for the header where reading goes on, so that a test can count that work
// (each place once, however many there are). Null removes it.
void SetResumeStepHookForTesting(void (*hook)());

}  // namespace base::log_reader
