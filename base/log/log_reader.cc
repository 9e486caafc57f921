#include "base/log/log_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "base/log/log_level.h"
#include "base/log/secp256k1.h"
#include "base/log/tea16.h"

namespace base::log_reader {
namespace {

using base::log_crypt::kSegmentHeaderSize;
using base::log_crypt::kSegmentTrailerSize;
using base::log_crypt::kTeaBlockSize;
using base::log_crypt::SegmentHeader;
using base::log_crypt::SegmentTrailer;
using base::log_crypt::TeaKey;

constexpr std::string_view kOpeningStart = "\xEF\xBB\xBFlog created at: ";
constexpr std::string_view kClosingStart = "\nlog shutdown at: ";
constexpr std::string_view kSyncMarker{"\0\0\xFF\xFF", 4};
constexpr size_t kTimeLength = 23;  // 2025-03-04 05:06:07.089
constexpr size_t kMaxFileName = 512;
constexpr size_t kMaxFunctionName = 512;
// In a memory log that is not enciphered, a run of spaces this long at the ring's end is
// taken for filler rather than the end of a message.
constexpr size_t kMinPlainFiller = 16;

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

// Parses the head of a record that starts at text[start] with "\n[", up to and including its
// tab. Returns the head's length, 0 when there is no record head there.
size_t ParseHead(std::string_view text, size_t start, LogLine* out) {
  size_t p = start;
  if (!Expect(text, &p, "\n[") || !LooksLikeTime(text.substr(p))) return 0;
  out->time.assign(text.substr(p, kTimeLength));
  p += kTimeLength;
  int64_t thread = 0;
  if (!Expect(text, &p, "][") || !ReadNumber(text, &p, false, &thread) || thread > UINT32_MAX ||
      !Expect(text, &p, "][")) {
    return 0;
  }
  out->thread = static_cast<uint32_t>(thread);
  const size_t level_end = text.find(']', p);
  if (level_end == std::string_view::npos ||
      !LevelNumberFromText(text.substr(p, level_end - p)).has_value() || IsDigit(text[p])) {
    return 0;
  }
  out->level.assign(text.substr(p, level_end - p));
  p = level_end;
  if (!Expect(text, &p, "][")) return 0;
  const size_t file_end = text.find('(', p);
  if (file_end == std::string_view::npos || file_end - p > kMaxFileName) return 0;
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
  const size_t tab = text.find('\t', p);
  if (tab == std::string_view::npos || tab - p > kMaxFunctionName) return 0;
  const std::string_view function = text.substr(p, tab - p);
  if (function.find('\n') != std::string_view::npos) return 0;
  out->function.assign(function);
  return tab + 1 - start;
}

size_t FindRecordStart(std::string_view text, size_t from, LogLine* head, size_t* head_length) {
  for (size_t p = text.find("\n[", from); p != std::string_view::npos;
       p = text.find("\n[", p + 1)) {
    *head_length = ParseHead(text, p, head);
    if (*head_length != 0) return p;
  }
  return std::string_view::npos;
}

// Length of the prefix of `s` that is UTF-8 text: no control characters but tab, line feed and
// carriage return. What a wrong or earlier key deciphers to fails this within a few bytes.
size_t TextPrefixLength(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<uint8_t>(s[i]);
    size_t length = 0;
    if (c < 0x80) {
      if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return i;
      length = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
    } else {
      return i;
    }
    if (i + length > s.size()) return i;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<uint8_t>(s[i + k]) & 0xC0) != 0x80) return i;
    }
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

// Cuts the records out of one stretch of plain text. With `text_only`, a message ends where the
// text stops being text. Returns the number of bytes that belong to no record.
uint64_t ParseInto(std::string_view text, bool text_only, std::vector<LogLine>* records,
                   bool torn_end = false) {
  uint64_t outside = 0;
  LogLine head;
  size_t head_length = 0;
  size_t start = FindRecordStart(text, 0, &head, &head_length);
  outside += start == std::string_view::npos ? text.size() : start;
  while (start != std::string_view::npos) {
    const size_t message_start = start + head_length;
    LogLine next;
    size_t next_length = 0;
    const size_t next_start = FindRecordStart(text, message_start, &next, &next_length);
    const size_t end = next_start == std::string_view::npos ? text.size() : next_start;
    std::string_view message = text.substr(message_start, end - message_start);
    if (text_only) {
      const size_t readable = TextPrefixLength(message);
      outside += message.size() - readable;
      message = message.substr(0, readable);
    }
    // Where the text was cut short, the next record's head may have been cut too.
    const size_t last_start = message.rfind("\n[");
    if (torn_end && next_start == std::string_view::npos && last_start != std::string_view::npos &&
        CouldBeTornHead(message.substr(last_start + 2))) {
      outside += message.size() - last_start;
      message = message.substr(0, last_start);
    }
    head.message.assign(message);
    records->push_back(std::move(head));
    head = std::move(next);
    head_length = next_length;
    start = next_start;
  }
  return outside;
}

// Inflates one segment's zlib stream as far as it goes. Returns how many input bytes were
// taken before an error, or the whole size.
size_t InflateSegment(std::string_view compressed, std::string* out, bool* failed) {
  z_stream z{};
  *failed = false;
  if (inflateInit(&z) != Z_OK) {
    *failed = true;
    return 0;
  }
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = static_cast<uInt>(compressed.size());
  std::array<char, 65536> buffer;
  while (z.avail_in > 0) {
    z.next_out = reinterpret_cast<Bytef*>(buffer.data());
    z.avail_out = static_cast<uInt>(buffer.size());
    const int rc = inflate(&z, Z_SYNC_FLUSH);
    out->append(buffer.data(), buffer.size() - z.avail_out);
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && !(rc == Z_BUF_ERROR && z.avail_out != 0)) {
      *failed = true;
      break;
    }
  }
  const size_t taken = static_cast<size_t>(z.total_in);
  inflateEnd(&z);
  return taken;
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

// In a dump that is not enciphered, the filler of the ring's old end lies before the newest
// content: a long run of spaces right before a record head.
uint64_t DropPlainFiller(std::string* text) {
  const std::string spaces(kMinPlainFiller, ' ');
  uint64_t dropped = 0;
  for (size_t run = text->find(spaces); run != std::string::npos; run = text->find(spaces, run)) {
    size_t end = text->find_first_not_of(' ', run);
    if (end == std::string::npos) end = text->size();
    if (text->compare(end, 2, "\n[") == 0 || end == text->size()) {
      text->erase(run, end - run);
      dropped += end - run;
    } else {
      run = end;
    }
  }
  return dropped;
}

bool IsFillerBlock(const uint8_t* block, uint8_t filler) {
  return std::all_of(block, block + kTeaBlockSize, [&](uint8_t b) { return b == filler; });
}

struct SegmentReader {
  const SegmentHeader& header;
  const TeaKey& key;
  DecodedLog& log;
  std::vector<std::string> texts;  // stretches of plain text, split where filler lies

  // Decodes the segment body at file offset `offset`. False when it is damaged.
  bool Read(std::span<const uint8_t> body, uint64_t offset, bool cut_short) {
    const size_t whole = header.encrypt ? body.size() / kTeaBlockSize * kTeaBlockSize : body.size();
    if (whole != body.size() && !cut_short) {
      return Damage(offset + whole, "a segment ends inside a cipher block");
    }
    if (!header.compress) {
      ReadStored(body.first(whole));
      return true;
    }
    std::string data(reinterpret_cast<const char*>(body.data()), whole);
    if (header.encrypt) {
      base::log_crypt::Tea16DecipherBlocks(key, reinterpret_cast<uint8_t*>(data.data()),
                                           whole / kTeaBlockSize);
      StripPadding(&data);
    }
    std::string text;
    bool failed = false;
    const size_t taken = InflateSegment(data, &text, &failed);
    texts.push_back(std::move(text));
    if (failed) {
      if (texts.size() == 1 && texts.back().empty()) log.status = DecodeStatus::kWrongKey;
      return Damage(offset + taken, "the compressed data cannot be inflated");
    }
    return true;
  }

  // Uncompressed content, such as the memory log's ring. Filler (blocks of spaces) is left
  // out: what follows it is the rest of the record before it, whose last bytes the encoder
  // carried into the next piece. Blocks never written (zeros) end a stretch of text.
  void ReadStored(std::span<const uint8_t> body) {
    std::string text;
    bool ends_with_filler = false;
    if (!header.encrypt) {
      text.assign(reinterpret_cast<const char*>(body.data()), body.size());
      const size_t kept = text.find_last_not_of(' ');
      const size_t filler = text.size() - (kept == std::string::npos ? 0 : kept + 1);
      ends_with_filler = filler >= kMinPlainFiller;
      if (ends_with_filler) text.resize(text.size() - filler);
      log.unreadable_bytes += ends_with_filler ? filler : 0;
      log.unreadable_bytes += DropPlainFiller(&text);
    }
    for (size_t at = 0; header.encrypt && at < body.size(); at += kTeaBlockSize) {
      const uint8_t* block = body.data() + at;
      ends_with_filler = IsFillerBlock(block, 0x20);
      if (ends_with_filler || IsFillerBlock(block, 0x00)) {
        log.unreadable_bytes += kTeaBlockSize;
        if (!ends_with_filler && !text.empty() && text.back() != '\0') text += '\0';
        continue;
      }
      const size_t used = text.size();
      text.append(reinterpret_cast<const char*>(block), kTeaBlockSize);
      base::log_crypt::Tea16DecipherBlocks(key, reinterpret_cast<uint8_t*>(text.data() + used), 1);
    }
    // Filler up to the end of a mapped ring means the ring has wrapped: its start continues
    // the record before the filler, so the text is read round from the first record head.
    LogLine unused;
    size_t unused_length = 0;
    const size_t first = ends_with_filler ? FindRecordStart(text, 0, &unused, &unused_length) : 0;
    if (first != std::string::npos && first > 0) {
      std::rotate(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(first), text.end());
    }
    texts.push_back(std::move(text));
  }

  bool Damage(uint64_t at, std::string_view what) {
    if (log.status != DecodeStatus::kWrongKey) log.status = DecodeStatus::kDamaged;
    log.stopped_at = at;
    log.problem = std::string(what) + " at byte " + std::to_string(at);
    return false;
  }
};

// Memory log: the newest record is the one with the latest time (the last of equal times);
// the ring's older content follows it, so reading starts right after it.
void PutInChronologicalOrder(std::vector<LogLine>* records) {
  if (records->empty()) return;
  size_t newest = 0;
  for (size_t i = 1; i < records->size(); ++i) {
    if ((*records)[i].time >= (*records)[newest].time) newest = i;
  }
  std::rotate(records->begin(), records->begin() + static_cast<std::ptrdiff_t>(newest) + 1,
              records->end());
}

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

}  // namespace

DecodedLog DecodeLog(std::span<const uint8_t> file, const Scalar* private_key) {
  DecodedLog log;
  const auto header = SegmentHeader::Parse(file);
  if (!header) {
    log.problem = "no log segment header at the start of the file";
    return log;
  }
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
  const std::span<const uint8_t> header_bytes = file.first(kSegmentHeaderSize);
  const auto trailer = SegmentTrailer{header->creation_time}.ToBytes();
  log.status = DecodeStatus::kComplete;
  log.stopped_at = file.size();
  SegmentReader reader{*header, key, log, {}};
  size_t at = kSegmentHeaderSize;
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
    at = end + kSegmentTrailerSize;
    if (at == file.size()) break;
    if (file.size() - at < kSegmentHeaderSize ||
        !std::equal(header_bytes.begin(), header_bytes.end(),
                    file.begin() + static_cast<std::ptrdiff_t>(at))) {
      reader.Damage(at, "unexpected bytes after a segment trailer");
      break;
    }
    at += kSegmentHeaderSize;
  }

  // Only the text log compresses, and its plain text opens with the byte-order mark.
  const bool text_log = header->compress ||
                        (!reader.texts.empty() && reader.texts.front().starts_with(kOpeningStart));
  log.kind = text_log ? LogKind::kTextLog : LogKind::kMemoryLog;
  uint64_t undecodable = 0;  // neither record nor filler
  if (text_log) {
    std::string all;
    for (const std::string& text : reader.texts) all += text;
    const size_t closing = all.rfind(kClosingStart);
    if (closing != std::string::npos &&
        LooksLikeTime(std::string_view(all).substr(closing + kClosingStart.size()))) {
      log.closed = true;
      all.resize(closing);
    }
    undecodable = ParseInto(all, false, &log.records, log.status != DecodeStatus::kComplete);
    LogLine unused;
    size_t unused_length = 0;
    const size_t first = FindRecordStart(all, 0, &unused, &unused_length);
    log.opening = all.substr(0, first == std::string::npos ? all.size() : first);
    undecodable -= log.opening.size();
  } else {
    for (const std::string& text : reader.texts) {
      undecodable += ParseInto(text, true, &log.records);
    }
    PutInChronologicalOrder(&log.records);
  }
  log.unreadable_bytes += undecodable;

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

}  // namespace base::log_reader
