#include "base/log/text_file_sink.h"

#include <cstdlib>
#include <cwctype>
#include <filesystem>

#include <fmt/format.h>

#include "base/log/log_crypt.h"
#include "base/log/log_time.h"
#include "base/os/debug_output.h"
#include "base/os/file_system.h"
#include "base/strings/utf.h"

namespace g3 {
namespace {

constexpr std::wstring_view kIllegalPrefixCharacters = L"/,|<>:#$%{}[]'\"^!?+* ";
constexpr size_t kStreamBufferSize = 64 * 1024;

void Report(const std::string& text) {
  base::os::WriteDebugOutput(text);
}

std::string Utf8(std::wstring_view text) {
  return base::WideToUtf8(text);
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
  if (!OpenStream(path_)) {
    Report(fmt::format("Cannot write log file to location [{}]", Utf8(path_)));
    path_ = L"./" + file_name;
    if (!OpenStream(path_)) {
      Report(fmt::format("cannot open log file at startup [{}]", Utf8(path_)));
    }
  }
  if (!is_open()) return;

  std::string opening =
      "\xEF\xBB\xBF"
      "log created at: ";
  opening += base::FormatLogTime<char>(base::LogTimestamp::Now());
  opening += "\nLOG format: [YYYY-MM-DD hh:mm:ss.xxx][tid][LEVEL][FILE(LINE)]FUNCTION\tmessage";
  WriteEncoded(opening, /*final=*/false, encoder_->Header(), {});
  Flush();
}

TextFileSink::~TextFileSink() {
  if (is_open()) {
    const std::string closing =
        fmt::format("\nlog shutdown at: {}", base::FormatLogTime<char>(base::LogTimestamp::Now()));
    WriteEncoded(closing, /*final=*/true, {}, encoder_->Trailer());
    Flush();
  }
  encoder_.reset();
  stream_.reset();
}

bool TextFileSink::OpenStream(const std::wstring& path) {
  auto stream = std::make_unique<std::ofstream>();
  // A larger buffer than the library's: lines reach the file in batches.
  stream_buffer_ = std::make_unique<char[]>(kStreamBufferSize);
  stream->rdbuf()->pubsetbuf(stream_buffer_.get(), kStreamBufferSize);
  try {
    stream->open(base::os::FileSystemPath(path),
                 std::ios::out | std::ios::binary | std::ios::trunc);
  } catch (const std::exception&) {
    stream->setstate(std::ios::failbit);  // a path the platform cannot express
  }
  if (!stream->is_open()) {
    Report(fmt::format("FILE ERROR: could not open log file:[{}]\n\t\t std::ios_base state = {}",
                       Utf8(path), static_cast<int>(stream->rdstate())));
    return false;
  }
  stream_ = std::move(stream);
  return true;
}

void TextFileSink::WriteEncoded(const std::string& text, bool final, const std::string& before,
                                const std::string& after) {
  std::lock_guard lock(lock_);
  if (!encoder_ || !encoder_->Encode(text, encoded_, final)) return;
  stream_->write(before.data(), static_cast<std::streamsize>(before.size()));
  stream_->write(encoded_.data(), static_cast<std::streamsize>(encoded_.size()));
  stream_->write(after.data(), static_cast<std::streamsize>(after.size()));
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
  // Encoded in groups: one pass of the cipher and one stream write for each.
  group_.clear();
  lines.ForEach([this](std::string_view line) {
    group_.push_back(line);
    if (group_.size() == kLinesPerGroup) WriteGroupLocked();
  });
  WriteGroupLocked();
}

void TextFileSink::WriteGroupLocked() {
  if (group_.empty()) return;
  if (encoder_ && encoder_->EncodeMany(group_, encoded_)) {
    stream_->write(encoded_.data(), static_cast<std::streamsize>(encoded_.size()));
  }
  group_.clear();
}

void TextFileSink::Flush() {
  if (!is_open()) return;
  std::lock_guard lock(lock_);
  try {
    stream_->flush();
  } catch (const std::exception&) {
    // An I/O failure of a flush is dropped; the sink stays open.
  }
  stream_->clear();
}

}  // namespace g3
