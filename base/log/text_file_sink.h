#pragma once
// The text log: one file of encoded segments holding an opening text, one line per record and
// a closing text.
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/log/log_lines.h"
#include "base/os/lock.h"

namespace base::log_crypt {
class LogCrypt;
}

namespace g3 {

// The prefix without white space, '/', '\' and ':'.
std::wstring CleanLogPrefix(std::wstring_view prefix);

// True when `prefix` is not empty and holds none of the characters a file name prefix may not
// have; otherwise reports why to the debugger output.
bool CheckLogPrefix(const std::wstring& prefix);

// prefix, "." and the application name when it is not empty, ".<creation time>" when asked
// for, and ".log".
std::wstring LogFileName(const std::wstring& prefix, const std::wstring& app_name,
                         bool timestamp_in_name);

// `directory` with '/' for '\', without trailing '/' and spaces, joined by one '/' with
// `file_name`. An empty directory gives the bare file name.
std::wstring JoinLogPath(std::wstring_view directory, const std::wstring& file_name);

class TextFileSink {
 public:
  // Cleans and checks the prefix (an unusable one ends the process), names and opens the file
  // in `directory` or, failing that, in the current directory, and writes the opening text.
  TextFileSink(const std::wstring& prefix, const std::wstring& directory,
               const std::wstring& app_name, bool timestamp_in_name, bool encrypt);
  // Writes the closing text and the segment trailer and closes the file.
  virtual ~TextFileSink();
  TextFileSink(const TextFileSink&) = delete;
  TextFileSink& operator=(const TextFileSink&) = delete;

  bool is_open() const { return stream_ != nullptr; }
  // The file's full path (the fall-back one when the log directory could not be used).
  const std::wstring& path() const { return path_; }

  // Appends the encoded record line (base/log/log_entry.h). Safe to call from several threads.
  void Write(std::string_view line);
  // The same for several lines in order, under one hold of the lock.
  void Write(const base::LogLines& lines);
  // Hands the stream's buffered lines to the file. Safe to call from several threads.
  void Flush();

 private:
  bool OpenStream(const std::wstring& path);
  // Lines encoded together when a batch is written.
  static constexpr size_t kLinesPerGroup = 256;

  // Encodes and appends the lines of group_, and empties it; the caller holds lock_.
  void WriteGroupLocked();
  // Encodes `text` and writes `before`, the encoded bytes and `after`; nothing when the
  // encoder fails.
  void WriteEncoded(const std::string& text, bool final, const std::string& before,
                    const std::string& after);

  std::wstring path_;
  std::wstring prefix_;
  std::unique_ptr<std::ofstream> stream_;
  bool timestamp_in_name_ = false;
  base::os::Lock lock_;
  std::shared_ptr<base::log_crypt::LogCrypt> encoder_;
  std::unique_ptr<char[]> stream_buffer_;
  std::string encoded_;                  // reused for every line, under lock_
  std::vector<std::string_view> group_;  // reused for every batch, under lock_
};

}  // namespace g3
