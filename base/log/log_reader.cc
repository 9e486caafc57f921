#include "base/log/log_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "base/log/log_level.h"
#include "base/log/log_ring.h"
#include "base/log/secp256k1.h"
#include "base/log/tea16.h"
#include "base/log/write_failure.h"

namespace base::log_reader {
namespace {

std::atomic<void (*)()> g_resume_step_hook{nullptr};

using base::log_crypt::kSegmentHeaderSize;
using base::log_crypt::kSegmentTrailerSize;
using base::log_crypt::kTeaBlockSize;
using base::log_crypt::SegmentHeader;
using base::log_crypt::SegmentTrailer;
using base::log_crypt::TeaKey;

constexpr std::string_view kOpeningStart = "\xEF\xBB\xBFlog created at: ";
constexpr std::string_view kClosingStart = "\nlog shutdown at: ";
constexpr std::string_view kSyncMarker{"\0\0\xFF\xFF", 4};
constexpr std::string_view kRecordStart = "\n[";
// The source of the records that the text sink writes itself.
constexpr std::string_view kTextSinkFile = "text_file_sink";
constexpr size_t kTimeLength = 23;   // 2025-03-04 05:06:07.089
constexpr size_t kMaxLevelText = 7;  // WARNING
constexpr size_t kMaxFileName = 512;
constexpr size_t kMaxFunctionName = 512;
// The ring's end mark, and the shortest run of spaces a ring that is not enciphered takes for
// filler.
constexpr std::string_view kEndMark = "        ";
static_assert(kEndMark.size() == base::LogRing::kEndMarkSize);

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool LooksLikeTime(std::string_view s) {
  constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd.ddd";
  if (s.size() < kShape.size()) return false;
  for (size_t i = 0; i < kShape.size(); ++i) {
    if (kShape[i] == 'd' ? !IsDigit(s[i]) : s[i] != kShape[i]) return false;
  }
  return true;
}

// Reads the digits (with an optional minus sign when `sign`) at text[*pos]; false when none.
bool ReadNumber(std::string_view text, size_t* pos, bool sign, int64_t* out) {
  size_t p = *pos;
  const bool negative = sign && p < text.size() && text[p] == '-';
  if (negative) ++p;
  const size_t digits_start = p;
  int64_t value = 0;
  while (p < text.size() && IsDigit(text[p]) && p - digits_start < 10) {
    value = value * 10 + (text[p] - '0');
    ++p;
  }
  if (p == digits_start) return false;
  *out = negative ? -value : value;
  *pos = p;
  return true;
}

bool Expect(std::string_view text, size_t* pos, std::string_view what) {
  if (text.substr(*pos, what.size()) != what) return false;
  *pos += what.size();
  return true;
}

// Offset of `c` in text[from, from + most], or npos. Bounded, so that looking at a record head
// costs the same however much text follows it.
size_t FindWithin(std::string_view text, size_t from, size_t most, char c) {
  const size_t found = text.substr(from, most).find(c);
  return found == std::string_view::npos ? found : from + found;
}

// Parses the head of a record that starts at text[start] with "\n[", up to and including its
// tab. Returns the head's length, 0 when there is no record head there.
size_t ParseHead(std::string_view text, size_t start, LogLine* out) {
  size_t p = start;
  if (!Expect(text, &p, kRecordStart) || !LooksLikeTime(text.substr(p))) return 0;
  out->time.assign(text.substr(p, kTimeLength));
  p += kTimeLength;
  int64_t thread = 0;
  if (!Expect(text, &p, "][") || !ReadNumber(text, &p, false, &thread) || thread > UINT32_MAX ||
      !Expect(text, &p, "][")) {
    return 0;
  }
  out->thread = static_cast<uint32_t>(thread);
  const size_t level_end = FindWithin(text, p, kMaxLevelText + 1, ']');
  if (level_end == std::string_view::npos ||
      !LevelNumberFromText(text.substr(p, level_end - p)).has_value() || IsDigit(text[p])) {
    return 0;
  }
  out->level.assign(text.substr(p, level_end - p));
  p = level_end;
  if (!Expect(text, &p, "][")) return 0;
  const size_t file_end = FindWithin(text, p, kMaxFileName + 1, '(');
  if (file_end == std::string_view::npos) return 0;
  const std::string_view file = text.substr(p, file_end - p);
  if (file.find_first_of("\n\t/\\") != std::string_view::npos) return 0;
  out->file.assign(file);
  p = file_end + 1;
  int64_t line = 0;
  if (!ReadNumber(text, &p, true, &line) || line > INT32_MAX || line < INT32_MIN ||
      !Expect(text, &p, ")]")) {
    return 0;
  }
  out->line = static_cast<int32_t>(line);
  const size_t tab = FindWithin(text, p, kMaxFunctionName + 1, '\t');
  if (tab == std::string_view::npos) return 0;
  const std::string_view function = text.substr(p, tab - p);
  if (function.find('\n') != std::string_view::npos) return 0;
  out->function.assign(function);
  return tab + 1 - start;
}

size_t FindRecordStart(std::string_view text, size_t from, LogLine* head, size_t* head_length) {
  for (size_t p = text.find(kRecordStart, from); p != std::string_view::npos;
       p = text.find(kRecordStart, p + 1)) {
    *head_length = ParseHead(text, p, head);
    if (*head_length != 0) return p;
  }
  return std::string_view::npos;
}

// Length of the UTF-8 sequence at s[i] (1 for ASCII), 0 when the bytes there are no UTF-8.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  const auto c = static_cast<uint8_t>(s[i]);
  size_t length = 0;
  if (c < 0x80) {
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((static_cast<uint8_t>(s[i + k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// Length of the prefix of `s` that is UTF-8 text: no control characters but tab, line feed and
// carriage return. What a wrong or earlier key deciphers to fails this within a few bytes.
size_t TextPrefixLength(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<uint8_t>(s[i]);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return i;
    const size_t length = Utf8SequenceLength(s, i);
    if (length == 0) return i;
    i += length;
  }
  return i;
}

// True when `rest` (after "\n[") could be the start of a record head that was cut off.
bool CouldBeTornHead(std::string_view rest) {
  constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd.ddd";
  for (size_t i = 0; i < rest.size() && i < kShape.size(); ++i) {
    if (kShape[i] == 'd' ? !IsDigit(rest[i]) : rest[i] != kShape[i]) return false;
  }
  return rest.size() < kShape.size() + kMaxFileName + kMaxFunctionName &&
         rest.find_first_of("\t\n") == std::string_view::npos;
}

// Where a record head that was cut off begins in `text`, which may stop inside it; npos when
// its end holds none.
size_t TornHeadStart(std::string_view text) {
  const size_t last_start = text.rfind(kRecordStart);
  if (last_start == std::string_view::npos ||
      !CouldBeTornHead(text.substr(last_start + kRecordStart.size()))) {
    return std::string_view::npos;
  }
  return last_start;
}

struct ParseResult {
  uint64_t outside = 0;   // bytes that belong to no record
  bool too_long = false;  // stopped before a record longer than kMaxRecordBytes
};

// Cuts the records out of one stretch of plain text. With `text_only`, a message ends where the
// text stops being text. With `torn_end`, the text may stop inside the last record, also inside
// its head. With `runs_on`, it gets for each record whether its message ran on up to the next
// record's head (rather than stopping at bytes that are no text or at the end of `text`).
ParseResult ParseInto(std::string_view text, bool text_only, std::vector<LogLine>* records,
                      bool torn_end = false, std::vector<bool>* runs_on = nullptr) {
  ParseResult result;
  LogLine head;
  size_t head_length = 0;
  size_t start = FindRecordStart(text, 0, &head, &head_length);
  result.outside += start == std::string_view::npos ? text.size() : start;
  while (start != std::string_view::npos) {
    const size_t message_start = start + head_length;
    LogLine next;
    size_t next_length = 0;
    const size_t next_start = FindRecordStart(text, message_start, &next, &next_length);
    const size_t end = next_start == std::string_view::npos ? text.size() : next_start;
    std::string_view message = text.substr(message_start, end - message_start);
    if (text_only) message = message.substr(0, TextPrefixLength(message));
    if (head_length + message.size() > kMaxRecordBytes) {
      result.too_long = true;
      result.outside += text.size() - start;
      break;
    }
    if (runs_on != nullptr) {
      runs_on->push_back(next_start != std::string_view::npos &&
                         message.size() == end - message_start);
    }
    result.outside += end - message_start - message.size();
    // Where the text was cut short, the next record's head may have been cut too.
    if (torn_end && next_start == std::string_view::npos) {
      const size_t torn = TornHeadStart(message);
      if (torn != std::string_view::npos) {
        result.outside += message.size() - torn;
        message = message.substr(0, torn);
      }
    }
    head.message.assign(message);
    records->push_back(std::move(head));
    head = std::move(next);
    head_length = next_length;
    start = next_start;
  }
  return result;
}

enum class InflateOutcome { kDone, kFailed, kRecordTooLong, kTextTooLong };

struct InflateResult {
  InflateOutcome outcome = InflateOutcome::kDone;
  size_t taken = 0;  // input bytes taken up to the end or the error
};

// Inflates one segment's zlib stream as far as it goes, appending at most `budget` bytes to
// `out`. When the text passes the budget, or a record in it passes kMaxRecordBytes, inflating
// stops and `out` ends before the record that was cut.
InflateResult InflateSegment(std::string_view compressed, size_t budget, std::string* out) {
  InflateResult result;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) {
    result.outcome = InflateOutcome::kFailed;
    return result;
  }
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = static_cast<uInt>(compressed.size());
  const size_t first = out->size();
  size_t record_start = first;  // where the latest record head (or the segment) starts
  std::array<char, 65536> buffer;
  while (z.avail_in > 0) {
    z.next_out = reinterpret_cast<Bytef*>(buffer.data());
    z.avail_out = static_cast<uInt>(buffer.size());
    const int rc = inflate(&z, Z_SYNC_FLUSH);
    const size_t scan_from = out->size() > first ? out->size() - 1 : first;
    out->append(buffer.data(), buffer.size() - z.avail_out);
    const size_t head = std::string_view(*out).rfind(kRecordStart);
    if (head != std::string_view::npos && head >= scan_from) record_start = head;
    if (out->size() - record_start > kMaxRecordBytes) {
      result.outcome = InflateOutcome::kRecordTooLong;
    } else if (out->size() - first > budget) {
      result.outcome = InflateOutcome::kTextTooLong;
    }
    if (result.outcome == InflateOutcome::kTextTooLong) {
      // The text up to the last record that ends within the budget.
      const size_t cut = std::string_view(*out).rfind(kRecordStart, first + budget);
      out->resize(cut == std::string_view::npos || cut < first ? first : cut);
      break;
    }
    if (result.outcome == InflateOutcome::kRecordTooLong) {
      out->resize(record_start);
      break;
    }
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && !(rc == Z_BUF_ERROR && z.avail_out != 0)) {
      result.outcome = InflateOutcome::kFailed;
      break;
    }
  }
  result.taken = static_cast<size_t>(z.total_in);
  inflateEnd(&z);
  return result;
}

// The encoder pads its last block with zeros after the last sync-flush marker; those are no
// deflate data.
void StripPadding(std::string* data) {
  for (size_t k = 1; k < kTeaBlockSize && k + kSyncMarker.size() <= data->size(); ++k) {
    const std::string_view tail(data->data() + data->size() - k, k);
    if (tail.find_first_not_of('\0') != std::string_view::npos) return;
    if (std::string_view(data->data() + data->size() - k - 4, 4) == kSyncMarker) {
      data->resize(data->size() - k);
      return;
    }
  }
}

bool IsFillerBlock(const uint8_t* block, uint8_t filler) {
  return std::all_of(block, block + kTeaBlockSize, [&](uint8_t b) { return b == filler; });
}

// A ring that is not enciphered: runs of at least 8 spaces at its end or before a record head
// are filler (and the end mark); they are left out in one pass. One before a record head leaves
// a zero byte, which no record text holds: the message before it ends there. Returns the bytes
// left out.
uint64_t DropPlainFiller(std::string* text) {
  std::string kept;
  kept.reserve(text->size());
  uint64_t dropped = 0;
  size_t at = 0;
  while (at < text->size()) {
    const size_t run = text->find(kEndMark, at);
    if (run == std::string::npos) {
      kept.append(*text, at);
      break;
    }
    size_t end = text->find_first_not_of(' ', run);
    if (end == std::string::npos) end = text->size();
    kept.append(*text, at, run - at);
    if (end == text->size()) {
      dropped += end - run;
    } else if (text->compare(end, kRecordStart.size(), kRecordStart) == 0) {
      kept += '\0';
      dropped += end - run - 1;
    } else {
      kept.append(*text, run, end - run);
    }
    at = end;
  }
  text->swap(kept);
  return dropped;
}

// A memory log read round its ring where nothing shows where the newest piece ends: the
// newest record is the one with the latest time, the last of equal times (records of one
// millisecond lie in the ring in the order they were written).
size_t NewestIndex(const std::vector<LogLine>& records) {
  size_t newest = 0;
  for (size_t i = 1; i < records.size(); ++i) {
    if (records[i].time >= records[newest].time) newest = i;
  }
  return newest;
}

// Puts the record at `newest` last; the ring's older content follows it, so it comes first.
void RotateAfter(std::vector<LogLine>* records, size_t newest) {
  std::rotate(records->begin(), records->begin() + static_cast<std::ptrdiff_t>(newest) + 1,
              records->end());
}

struct StoredBody {
  std::span<const uint8_t> bytes;
  uint64_t offset = 0;
  bool broken = false;  // cut short by a failed write, another segment after it
};

struct SegmentReader {
  const SegmentHeader& header;
  const TeaKey& key;
  DecodedLog& log;
  std::vector<std::string> texts;  // inflated text of compressed segments
  std::vector<StoredBody> stored;  // segments stored without compression
  size_t text_bytes = 0;
  uint64_t undecodable = 0;    // bytes in no record and no filler
  size_t damaged_segment = 0;  // the number of the last segment found damaged

  // Takes the segment body at file offset `offset`. Damage inside it that reading can go past
  // is noted in log.skipped; false when reading must stop.
  bool Read(std::span<const uint8_t> body, uint64_t offset, bool cut_short) {
    const size_t whole = header.encrypt ? body.size() / kTeaBlockSize * kTeaBlockSize : body.size();
    // Closed by a trailer, but its data ends inside a cipher block: it was cut.
    const bool torn_block = whole != body.size() && !cut_short;
    if (!header.compress) {
      stored.push_back({body.first(whole), offset});
      if (torn_block) BrokeOff(offset + body.size());
      return true;
    }
    std::string data(reinterpret_cast<const char*>(body.data()), whole);
    if (header.encrypt) {
      base::log_crypt::Tea16DecipherBlocks(key, reinterpret_cast<uint8_t*>(data.data()),
                                           whole / kTeaBlockSize);
      StripPadding(&data);
    }
    // Every call of the encoder ends its data with a sync flush: data that ends elsewhere was
    // cut inside a record.
    const bool ends_at_flush = data.empty() || std::string_view(data).ends_with(kSyncMarker);
    std::string text;
    const InflateResult inflated = InflateSegment(data, kMaxTextBytes - text_bytes, &text);
    text_bytes += text.size();
    texts.push_back(std::move(text));
    switch (inflated.outcome) {
      case InflateOutcome::kDone:
        if (!cut_short && (torn_block || !ends_at_flush)) BrokeOff(offset + body.size());
        return true;
      case InflateOutcome::kFailed:
        if (header.encrypt && texts.size() == 1 && texts.back().empty()) {
          log.status = DecodeStatus::kWrongKey;
        }
        // Reading goes on only where a trailer closes the segment and another may follow.
        if (log.status == DecodeStatus::kWrongKey || cut_short) {
          return Damage(offset + inflated.taken, "the compressed data cannot be inflated");
        }
        CutTornHead(&texts.back());
        damaged_segment = log.segments;
        Skip(offset + inflated.taken, "the compressed data of segment " +
                                          std::to_string(log.segments) + " cannot be inflated");
        return true;
      case InflateOutcome::kRecordTooLong:
        return Damage(offset + inflated.taken, "a record longer than " +
                                                   std::to_string(kMaxRecordBytes) +
                                                   " bytes (no log writes one)");
      case InflateOutcome::kTextTooLong:
        return Damage(offset + inflated.taken, "the text passes " +
                                                   std::to_string(kMaxTextBytes >> 20) +
                                                   " MiB, more than is read of one log");
    }
    return true;
  }

  // The current segment was cut at file offset `at`: the rest of it never reached the file, and
  // its writer began a new segment. Its last record may be cut short; a record head cut there
  // is dropped.
  void BrokeOff(uint64_t at) {
    if (damaged_segment == log.segments) return;
    damaged_segment = log.segments;
    if (header.compress) {
      CutTornHead(&texts.back());
    } else {
      stored.back().broken = true;
    }
    Skip(at, "segment " + std::to_string(log.segments) +
                 " breaks off (the rest of it never reached the file; its last record may be "
                 "cut short)");
  }

  // Drops a record head cut off at the end of a segment's text.
  void CutTornHead(std::string* text) {
    const size_t torn = TornHeadStart(*text);
    if (torn == std::string::npos) return;
    log.unreadable_bytes += text->size() - torn;
    text->resize(torn);
  }

  // The stored bytes as plain text, deciphered when enciphered.
  std::string PlainText(std::span<const uint8_t> bytes) const {
    std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (header.encrypt) {
      base::log_crypt::Tea16DecipherBlocks(key, reinterpret_cast<uint8_t*>(text.data()),
                                           text.size() / kTeaBlockSize);
    }
    return text;
  }

  // Only the text log opens with the byte-order mark; the memory log's ring never does. A text
  // log whose opening never reached the file opens with the text sink's record of that loss,
  // which the memory log never holds.
  bool StoredTextLog() const {
    if (stored.empty()) return false;
    const auto first = stored.front().bytes;
    constexpr size_t kLooked = 1024;
    const std::string start = PlainText(first.first(std::min(first.size(), kLooked)));
    LogLine head;
    return start.starts_with(kOpeningStart) ||
           (ParseHead(start, 0, &head) != 0 && head.file == kTextSinkFile);
  }

  // A memory-log ring, read as a cycle, which fits the mapped file (ring start at the body's
  // start) and a dump (the ring turned round to start at the write position) alike. Its first
  // run of spaces is the end mark right after the newest piece (or the filler at the ring's
  // end, where the end mark lies in it): reading starts after it, goes round and stops there,
  // so that what follows the newest piece (the torn rest of an older one) is read first, as
  // the bytes before the first record. Any other run of spaces is the filler of a wrap: the
  // record before it goes on at the ring's start, where the encoder's carried bytes went.
  // Blocks of zeros were never written: they end a message.
  void ReadEncipheredRing(std::span<const uint8_t> body) {
    const size_t blocks = body.size() / kTeaBlockSize;
    auto block = [&](size_t i) { return body.data() + i * kTeaBlockSize; };
    auto spaces = [&](size_t i) { return IsFillerBlock(block(i), ' '); };
    size_t mark = 0;
    while (mark < blocks && !spaces(mark)) ++mark;
    size_t start = mark;
    while (start < blocks && spaces(start)) ++start;
    if (start == blocks) start = 0;
    const size_t count = mark < blocks ? (mark + blocks - start) % blocks : blocks;
    // Runs of spaces going round the ring: two when the end mark and the filler lie apart.
    size_t space_runs = 0;
    for (size_t i = 0; i < blocks; ++i) {
      if (spaces(i) && !spaces((i + blocks - 1) % blocks)) ++space_runs;
    }

    std::string text;
    text.reserve(count * kTeaBlockSize);
    uint64_t unreadable = (blocks - count) * kTeaBlockSize;
    bool ends_written_out = false;  // the last block holds the zeros of a closing writer
    for (size_t k = 0; k < count; ++k) {
      const uint8_t* bytes = block((start + k) % blocks);
      if (IsFillerBlock(bytes, ' ') || IsFillerBlock(bytes, 0)) {
        unreadable += kTeaBlockSize;
        if (bytes[0] == 0 && !text.empty() && text.back() != '\0') text += '\0';
        ends_written_out = false;
        continue;
      }
      const size_t used = text.size();
      text.append(reinterpret_cast<const char*>(bytes), kTeaBlockSize);
      base::log_crypt::Tea16DecipherBlocks(key, reinterpret_cast<uint8_t*>(text.data() + used), 1);
      ends_written_out = text.back() == '\0';
    }
    const bool may_lack_tail = !ends_written_out;
    std::vector<LogLine> records;
    ParseResult parsed = ParseInto(text, true, &records, may_lack_tail);
    NewestEnd newest_end = may_lack_tail ? NewestEnd::kMayLackTail : NewestEnd::kWhole;
    if (space_runs <= 1 && ReadOutOfOrder(records)) {
      // No end mark: its one run of spaces is the filler, and reading round from it put the
      // pieces written since the last wrap before the older ones after them. Read again from
      // the first record, so that the bytes at the ring's start (the end of the record before
      // the filler) follow that record, and put the newest record last.
      LogLine unused;
      size_t unused_length = 0;
      const size_t first = FindRecordStart(text, 0, &unused, &unused_length);
      std::rotate(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(first), text.end());
      records.clear();
      parsed = ParseInto(text, true, &records);
      RotateAfter(&records, NewestIndex(records));
      newest_end = NewestEnd::kMayCarryOlderBytes;
    }
    log.unreadable_bytes += unreadable;
    Take(parsed, std::move(records), newest_end);
  }

  // True when the records read round a ring lie in two runs, the newest record (by time) at
  // the end of the first one and every record of the second no later than the first record
  // read: the ring's newer pieces were read before its older ones. Records that are only a
  // little out of time order (two threads that log at once) are no such split.
  static bool ReadOutOfOrder(const std::vector<LogLine>& records) {
    if (records.empty()) return false;
    const size_t newest = NewestIndex(records);
    if (newest + 1 == records.size()) return false;
    return std::all_of(records.begin() + static_cast<std::ptrdiff_t>(newest) + 1, records.end(),
                       [&](const LogLine& r) { return r.time <= records.front().time; });
  }

  // A ring that is not enciphered holds the plain lines, and its pieces carry nothing across:
  // the newest record is the one with the latest time. Without the cipher's blocks, the end
  // mark is 8 spaces like any others: the newest record is cut at its first run of 8 spaces.
  // A newest record that runs on up to another record's head had no mark after it.
  void ReadPlainRing(std::span<const uint8_t> body) {
    std::string text(reinterpret_cast<const char*>(body.data()), body.size());
    log.unreadable_bytes += DropPlainFiller(&text);
    std::vector<LogLine> records;
    std::vector<bool> runs_on;
    const ParseResult parsed = ParseInto(text, true, &records, false, &runs_on);
    if (records.empty()) {
      Take(parsed, {}, NewestEnd::kWhole);
      return;
    }
    const size_t newest = NewestIndex(records);
    const bool unmarked = runs_on[newest];
    RotateAfter(&records, newest);
    std::string& message = records.back().message;
    const size_t mark = message.find(kEndMark);
    if (mark != std::string::npos) {
      log.unreadable_bytes += message.size() - mark;
      message.resize(mark);
    }
    Take(parsed, std::move(records),
         mark == std::string::npos && unmarked ? NewestEnd::kMayCarryOlderBytes
                                               : NewestEnd::kAtFirstSpaceRun);
  }

  // The records of a ring, oldest first, and what the parse left outside them.
  void Take(const ParseResult& parsed, std::vector<LogLine> records, NewestEnd newest_end) {
    log.unreadable_bytes += parsed.outside;
    undecodable += parsed.outside;
    if (parsed.too_long) TooLong();
    if (records.empty()) return;
    log.newest_end = newest_end;
    if (log.records.empty()) {
      log.records = std::move(records);
    } else {
      log.records.insert(log.records.end(), std::make_move_iterator(records.begin()),
                         std::make_move_iterator(records.end()));
    }
  }

  // Where the plain text was already at hand: the file's offset is not known there.
  void TooLong() {
    if (log.status != DecodeStatus::kComplete && log.status != DecodeStatus::kCutShort) return;
    log.status = DecodeStatus::kDamaged;
    log.problem = "a record longer than " + std::to_string(kMaxRecordBytes) +
                  " bytes (no log writes one) after record " + std::to_string(log.records.size());
  }

  // Damage where reading stops.
  bool Damage(uint64_t at, std::string_view what) {
    if (log.status != DecodeStatus::kWrongKey) log.status = DecodeStatus::kDamaged;
    log.stopped_at = at;
    log.problem = std::string(what) + " at byte " + std::to_string(at);
    return false;
  }

  // Damage that reading goes past, at the next segment header.
  void Skip(uint64_t at, std::string what) { log.skipped.push_back({at, 0, std::move(what)}); }
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

template <size_t N>
std::optional<std::array<uint8_t, N>> ParseHex(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  const size_t last = text.find_last_not_of(" \t\r\n");
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, last + 1 - first);
  if (text.size() != 2 * N) return std::nullopt;
  std::array<uint8_t, N> out{};
  for (size_t i = 0; i < N; ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return out;
}

// The first offset in `file` where a segment header lies; npos when there is none.
size_t FindFirstHeader(std::span<const uint8_t> file) {
  for (size_t at = 0; at + kSegmentHeaderSize <= file.size(); ++at) {
    if (file[at] == 0x86 && file[at + 1] == 0x96 && SegmentHeader::Parse(file.subspan(at))) {
      return at;
    }
  }
  return std::string_view::npos;
}

}  // namespace

DecodedLog DecodeLog(std::span<const uint8_t> file, const Scalar* private_key) {
  DecodedLog log;
  // A file normally opens with its header; one whose first write did not reach the disk whole
  // opens with what did, and the writer's next segment follows.
  const size_t first = FindFirstHeader(file);
  if (first == std::string_view::npos) {
    log.problem = "no log segment header at the start of the file";
    return log;
  }
  const auto header = SegmentHeader::Parse(file.subspan(first));
  log.header = *header;
  TeaKey key;
  if (header->encrypt) {
    base::log_crypt::KeyAgreement agreement;
    if (private_key == nullptr) {
      log.status = DecodeStatus::kNoKey;
      log.problem = "the log is enciphered and no private key was given";
      return log;
    }
    if (!base::log_crypt::AgreeKey(*private_key, header->ephemeral_key, &agreement)) {
      log.status = DecodeStatus::kDamaged;
      log.problem = "the header's public key is no point of the curve";
      return log;
    }
    key = base::log_crypt::TeaKeyFromBytes(agreement.secret.data());
  }

  // Every segment of one encoder has the same header and trailer bytes.
  const std::span<const uint8_t> header_bytes = file.subspan(first, kSegmentHeaderSize);
  const auto trailer = SegmentTrailer{header->creation_time}.ToBytes();
  log.status = DecodeStatus::kComplete;
  log.stopped_at = file.size();
  SegmentReader reader{*header, key, log, {}, {}, 0, 0, 0};
  if (first > 0) reader.Skip(0, std::to_string(first) + " bytes before the first segment header");
  size_t at = first + kSegmentHeaderSize;
  // The damaged places from here on wait for the header where reading goes on; those before
  // it have theirs. Each place is looked at once, however many there are.
  size_t awaiting_resume = 0;
  void (*const resume_step_hook)() = g_resume_step_hook.load(std::memory_order_acquire);
  auto resume_at = [&](size_t header_at) {
    for (; awaiting_resume < log.skipped.size(); ++awaiting_resume) {
      if (resume_step_hook != nullptr) resume_step_hook();
      log.skipped[awaiting_resume].resumed_at = header_at;
    }
    at = header_at + kSegmentHeaderSize;
  };
  resume_at(first);
  while (true) {
    ++log.segments;
    const auto body_end = std::search(file.begin() + static_cast<std::ptrdiff_t>(at), file.end(),
                                      trailer.begin(), trailer.end());
    const bool cut_short = body_end == file.end();
    const size_t end = static_cast<size_t>(body_end - file.begin());
    if (!reader.Read(file.subspan(at, end - at), at, cut_short)) break;
    if (cut_short) {
      log.status = DecodeStatus::kCutShort;
      log.stopped_at = file.size();
      log.problem = "the file ends at byte " + std::to_string(file.size()) + " in segment " +
                    std::to_string(log.segments) +
                    " without its trailer; the last record may be incomplete";
      break;
    }
    const size_t next = end + kSegmentTrailerSize;
    if (next == file.size()) break;
    const bool header_next = file.size() - next >= kSegmentHeaderSize &&
                             std::equal(header_bytes.begin(), header_bytes.end(),
                                        file.begin() + static_cast<std::ptrdiff_t>(next));
    // Bytes that are no segment header are what a failed write left, or junk: reading goes on
    // at the next segment header, when there is one.
    const auto found = header_next
                           ? file.begin() + static_cast<std::ptrdiff_t>(next)
                           : std::search(file.begin() + static_cast<std::ptrdiff_t>(next),
                                         file.end(), header_bytes.begin(), header_bytes.end());
    if (found == file.end()) {
      reader.Damage(next, "unexpected bytes after a segment trailer");
      break;
    }
    // The encoder begins a new segment only once the compressed data passed the segment limit;
    // any other segment that another follows was cut by a failed write.
    if (!header->compress || end - at <= base::log_crypt::kSegmentLimit) reader.BrokeOff(end);
    if (!header_next) reader.Skip(next, "unexpected bytes after a segment trailer");
    resume_at(static_cast<size_t>(found - file.begin()));
  }

  const bool text_log = header->compress || reader.StoredTextLog();
  log.kind = text_log ? LogKind::kTextLog : LogKind::kMemoryLog;
  if (text_log) {
    std::string all;
    for (std::string& text : reader.texts) {
      if (all.empty()) {
        all.swap(text);
      } else {
        all += text;
      }
      std::string().swap(text);
    }
    // Text logs have no filler: what is stored is the text, spaces and all.
    for (const StoredBody& body : reader.stored) {
      std::string text = reader.PlainText(body.bytes);
      if (body.broken) reader.CutTornHead(&text);
      all += text;
    }
    const size_t closing = all.rfind(kClosingStart);
    if (closing != std::string::npos &&
        LooksLikeTime(std::string_view(all).substr(closing + kClosingStart.size()))) {
      log.closed = true;
      all.resize(closing);
    }
    const ParseResult parsed =
        ParseInto(all, false, &log.records, log.status != DecodeStatus::kComplete);
    if (parsed.too_long) reader.TooLong();
    LogLine unused;
    size_t unused_length = 0;
    const size_t first = FindRecordStart(all, 0, &unused, &unused_length);
    log.opening = all.substr(0, first == std::string::npos ? all.size() : first);
    reader.undecodable = parsed.outside - std::min<uint64_t>(parsed.outside, log.opening.size());
    log.unreadable_bytes += reader.undecodable;
  } else {
    for (const StoredBody& body : reader.stored) {
      if (header->encrypt) {
        reader.ReadEncipheredRing(body.bytes);
      } else {
        reader.ReadPlainRing(body.bytes);
      }
    }
  }
  const uint64_t undecodable = reader.undecodable;
  if (!log.skipped.empty() && log.status == DecodeStatus::kComplete) {
    const SkippedDamage& damage = log.skipped.front();
    log.status = DecodeStatus::kDamaged;
    log.problem = damage.what + " at byte " + std::to_string(damage.at);
    if (log.skipped.size() > 1) {
      log.problem += ", and " + std::to_string(log.skipped.size() - 1) + " more damaged places";
    }
  }

  // A wrong key deciphers to bytes that hold neither the opening text nor any record.
  if (header->encrypt && log.records.empty() && log.opening.empty() &&
      (log.status == DecodeStatus::kWrongKey || undecodable > 0)) {
    log.status = DecodeStatus::kWrongKey;
    log.stopped_at = kSegmentHeaderSize;
    log.problem = "the private key does not fit this log: its data deciphers to no log text";
  }
  return log;
}

std::vector<LogLine> ParseRecords(std::string_view text) {
  std::vector<LogLine> records;
  ParseInto(text, false, &records);
  return records;
}

std::string FormatRecord(const LogLine& r) {
  std::string out;
  out.reserve(r.time.size() + r.level.size() + r.file.size() + r.message.size() + 40);
  out += '[';
  out += r.time;
  out += "][";
  out += std::to_string(r.thread);
  out += "][";
  out += r.level;
  out += "][";
  out += r.file;
  out += '(';
  out += std::to_string(r.line);
  out += ")]";
  out += r.function;
  out += '\t';
  out += r.message;
  return out;
}

std::string EscapeForTerminal(std::string_view line) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(line.size());
  size_t i = 0;
  while (i < line.size()) {
    // Printable ASCII and tabs, as most of a log is, go in one piece.
    size_t plain = i;
    while (plain < line.size() &&
           ((line[plain] >= 0x20 && line[plain] < 0x7F) || line[plain] == '\t')) {
      ++plain;
    }
    out.append(line.substr(i, plain - i));
    i = plain;
    if (i == line.size()) break;
    const auto c = static_cast<uint8_t>(line[i]);
    const size_t length = Utf8SequenceLength(line, i);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (length == 0 || (c < 0x20 && c != '\t') || c == 0x7F) {
      out += "\\x";
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
      i += 1;
      continue;
    } else if (length > 1) {
      // The code point, for the C1 controls (U+0080..U+009F, CSI among them) and the
      // bidirectional embeddings, overrides and isolates, which reorder what a terminal shows.
      uint32_t code = c & (0xFF >> (length + 1));
      for (size_t k = 1; k < length; ++k)
        code = code << 6 | (static_cast<uint8_t>(line[i + k]) & 0x3F);
      const bool hidden = (code >= 0x80 && code <= 0x9F) || (code >= 0x202A && code <= 0x202E) ||
                          (code >= 0x2066 && code <= 0x2069);
      if (hidden) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[code >> shift & 15];
      } else {
        out.append(line.substr(i, length));
      }
    } else {
      out += static_cast<char>(c);
    }
    i += length;
  }
  return out;
}

std::optional<int> LevelNumberFromText(std::string_view text) {
  for (int number = base::kLogDebug; number <= base::kLogFatal; ++number) {
    if (base::LevelFromNumber(number).text == text) return number;
  }
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '6') return text[0] - '0';
  return std::nullopt;
}

std::optional<Scalar> ParsePrivateKey(std::string_view text) {
  return ParseHex<32>(text);
}

std::optional<PublicKey> ParsePublicKey(std::string_view text) {
  return ParseHex<64>(text);
}

std::string ToHex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

void SetResumeStepHookForTesting(void (*hook)()) {
  g_resume_step_hook.store(hook, std::memory_order_release);
}

bool IsLossRecord(const LogLine& record) {
  return record.file == "text_file_sink" && record.level == "WARNING" &&
         record.message.find(g3::kLossRecordWords) != std::string::npos;
}

}  // namespace base::log_reader
