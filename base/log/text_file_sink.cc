#include "base/log/text_file_sink.h"

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <ios>

#include <fmt/format.h>

#include "base/log/log_crypt.h"
#include "base/log/log_entry.h"
#include "base/log/log_time.h"
#include "base/os/clock.h"
#include "base/os/debug_output.h"
#include "base/os/thread_id.h"
#include "base/strings/utf.h"

namespace g3 {
namespace {

constexpr std::wstring_view kIllegalPrefixCharacters = L"/,|<>:#$%{}[]'\"^!?+* ";
constexpr char kLogSource[] = "base/log/text_file_sink";

void Report(const std::string& text) {
  base::os::WriteDebugOutput(text);
}

std::string Utf8(std::wstring_view text) {
  return base::WideToUtf8(text);
}

int64_t MonotonicNanoseconds() {
  const base::os::CounterReading now = base::os::ReadMonotonicCounter();
  return base::CounterToNanoseconds(now.counter, now.frequency);
}

}  // namespace

std::wstring CleanLogPrefix(std::wstring_view prefix) {
  std::wstring cleaned;
  for (wchar_t c : prefix) {
    const bool space = static_cast<uint32_t>(c) < 128 && std::iswspace(static_cast<wint_t>(c));
    if (space || c == L'/' || c == L'\\' || c == L':') continue;
    cleaned += c;
  }
  return cleaned;
}

bool CheckLogPrefix(const std::wstring& prefix) {
  if (prefix.empty()) {
    Report("Empty filename prefix is not allowed");
    return false;
  }
  const size_t bad = prefix.find_first_of(kIllegalPrefixCharacters);
  if (bad != std::wstring::npos) {
    Report(fmt::format("Illegal character [{}] in logname prefix: [{}]",
                       Utf8(std::wstring_view(prefix).substr(bad, 1)), Utf8(prefix)));
    return false;
  }
  return true;
}

std::wstring LogFileName(const std::wstring& prefix, const std::wstring& app_name,
                         bool timestamp_in_name) {
  std::wstring name = prefix;
  if (!app_name.empty()) name += L"." + app_name;
  if (timestamp_in_name) {
    name += L".";
    name += base::FormatLogTime<wchar_t>(base::LogTimestamp::Now(), L"%Y%m%d-%H%M%S-%f");
  }
  return name + L".log";
}

std::wstring JoinLogPath(std::wstring_view directory, const std::wstring& file_name) {
  std::wstring dir(directory);
  for (wchar_t& c : dir) {
    if (c == L'\\') c = L'/';
  }
  while (!dir.empty() && (dir.back() == L'/' || dir.back() == L' ')) dir.pop_back();
  if (!dir.empty()) dir += L'/';
  return dir + file_name;
}

TextFileSink::TextFileSink(const std::wstring& prefix, const std::wstring& directory,
                           const std::wstring& app_name, bool timestamp_in_name, bool encrypt)
    : path_(directory),
      timestamp_in_name_(timestamp_in_name),
      encoder_(std::make_shared<base::log_crypt::LogCrypt>(0, encrypt, encrypt)) {
  prefix_ = CleanLogPrefix(prefix);
  if (!CheckLogPrefix(prefix_)) prefix_.clear();
  if (!CheckLogPrefix(prefix_)) {
    Report(fmt::format("forced abort due to illegal log prefix [{}]", Utf8(prefix)));
    std::abort();
  }

  const std::wstring file_name = LogFileName(prefix_, app_name, timestamp_in_name_);
  path_ = JoinLogPath(path_, file_name);
  if (!OpenFile(path_)) {
    Report(fmt::format("Cannot write log file to location [{}]", Utf8(path_)));
    path_ = L"./" + file_name;
    if (!OpenFile(path_)) {
      Report(fmt::format("cannot open log file at startup [{}]", Utf8(path_)));
    }
  }
  if (!is_open()) return;

  std::string opening =
      "\xEF\xBB\xBF"
      "log created at: ";
  opening += base::FormatLogTime<char>(base::LogTimestamp::Now());
  opening += "\nLOG format: [YYYY-MM-DD hh:mm:ss.xxx][tid][LEVEL][FILE(LINE)]FUNCTION\tmessage";
  std::lock_guard lock(lock_);
  if (encoder_->Encode(opening, encoded_, /*final=*/false)) {
    pending_.bytes = encoder_->Header() + encoded_;
  }
  WritePendingLocked();
}

TextFileSink::~TextFileSink() {
  // No write can be in progress: the lock is not taken (a worker given up may hold it).
  if (!is_open()) return;
  // After a spell of failed writes, the closing text only when the file takes bytes again.
  if (failure_.failing() && !RecoverLocked()) return;
  const std::string closing =
      fmt::format("\nlog shutdown at: {}", base::FormatLogTime<char>(base::LogTimestamp::Now()));
  if (encoder_->Encode(closing, encoded_, /*final=*/true)) {
    pending_.bytes += encoded_;
    pending_.bytes += encoder_->Trailer();
  }
  WritePendingLocked();
}

bool TextFileSink::OpenFile(const std::wstring& path) {
  if (file_.Open(path)) return true;
  // The state bits a standard stream reports for a file it cannot open.
  Report(fmt::format("FILE ERROR: could not open log file:[{}]\n\t\t std::ios_base state = {}",
                     Utf8(path), static_cast<int>(std::ios_base::failbit)));
  return false;
}

void TextFileSink::Write(std::string_view line) {
  if (!is_open()) return;
  std::lock_guard lock(lock_);
  group_.assign(1, line);
  WriteGroupLocked();
}

void TextFileSink::Write(const base::LogLines& lines) {
  if (!is_open()) return;
  std::lock_guard lock(lock_);
  // Encoded in groups: one pass of the cipher for each.
  group_.clear();
  lines.ForEach([this](std::string_view line) {
    group_.push_back(line);
    if (group_.size() == kLinesPerGroup) WriteGroupLocked();
  });
  WriteGroupLocked();
}

void TextFileSink::SetWriter(std::string writer) {
  std::lock_guard lock(lock_);
  writer_ = std::move(writer);
}

void TextFileSink::WriteGroupLocked() {
  if (group_.empty()) return;
  if (failure_.failing() && !(failure_.RetryDue(MonotonicNanoseconds()) && RecoverLocked())) {
    failure_.CountLost(group_.size());
    group_.clear();
    return;
  }
  if (encoder_->EncodeMany(group_, encoded_, &encoded_ends_)) {
    const size_t start = pending_.bytes.size();
    for (const size_t end : encoded_ends_) pending_.line_ends.push_back(start + end);
    pending_.bytes += encoded_;
    if (pending_.bytes.size() >= kWriteSize) WritePendingLocked();
  }
  group_.clear();
}

bool TextFileSink::WritePendingLocked() {
  if (pending_.bytes.empty()) return true;
  const base::os::WriteOutcome outcome = file_.Write(pending_.bytes);
  bytes_in_file_ += outcome.written;
  if (outcome.error != 0) {
    // What reached the file stays there; a line that cannot be read whole from it is lost, as
    // are the lines whose last bytes the encoder still holds (the new segment drops them).
    const auto& ends = pending_.line_ends;
    const uint64_t lost =
        static_cast<uint64_t>(ends.end() -
                              std::upper_bound(ends.begin(), ends.end(), outcome.written)) +
        encoder_->HeldInputs();
    if (failure_.WriteFailed(outcome.error, lost, MonotonicNanoseconds())) {
      Report(
          fmt::format("Cannot write log file [{}]: {} (error {}); lines are dropped until it "
                      "takes bytes again",
                      Utf8(path_), base::os::ErrorText(outcome.error), outcome.error));
    }
  }
  pending_.bytes.clear();
  pending_.line_ends.clear();
  return outcome.error == 0;
}

void TextFileSink::ReleaseHeldLocked() {
  const size_t held_inputs = encoder_->HeldInputs();
  if (!encoder_->ReleaseHeld(held_)) return;
  pending_.bytes += held_;
  // The held lines were encoded after every line listed so far: they end here, in order.
  pending_.line_ends.insert(pending_.line_ends.end(), held_inputs, pending_.bytes.size());
}

bool TextFileSink::RecoverLocked() {
  failure_.Retrying(MonotonicNanoseconds());
  std::string framing;
  if (!encoder_->BreakSegment(framing)) return false;
  // A file that holds nothing yet opens with the new segment, without a trailer before it.
  pending_.bytes = bytes_in_file_ > 0 ? framing : encoder_->Header();
  base::LogEntry notice;
  notice.time = base::LogTimestamp::Now();
  notice.thread_id = base::os::CurrentThreadId();
  notice.file = std::string(base::FileBaseName(kLogSource));
  notice.line = __LINE__;
  notice.level = base::LevelFromNumber(base::kLogWarning);
  notice.message = failure_.LossMessage(base::os::ErrorText(failure_.error()), writer_);
  if (encoder_->Encode(base::FormatLogLine(notice), encoded_, /*final=*/false)) {
    pending_.bytes += encoded_;
  }
  // The count is given up only once the record that carries it can be read whole from the
  // file: its last bytes are not left with the encoder.
  ReleaseHeldLocked();
  if (!WritePendingLocked()) return false;
  failure_.Recovered();
  return true;
}

void TextFileSink::Flush() {
  if (!is_open()) return;
  std::lock_guard lock(lock_);
  if (failure_.failing()) {
    RecoverLocked();
  } else {
    ReleaseHeldLocked();
    WritePendingLocked();
  }
}

}  // namespace g3
