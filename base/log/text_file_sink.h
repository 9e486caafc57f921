#pragma once
// The text log: one file of encoded segments holding an opening text, one line per record and
// a closing text.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/log/log_lines.h"
#include "base/log/write_failure.h"
#include "base/os/lock.h"
#include "base/os/output_file.h"

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

// A write that fails (a full disk, a quota, a drive gone) does not end the text log. The lines
// whose bytes did not reach the file, and those logged while it takes nothing, are dropped and
// counted; no line waits for the file. Once the file takes bytes again (tried at most every
// WriteFailure::kRetryIntervalMs, at a write or a flush), the segment cut by the failure is
// closed and a new one begins, with a fresh encoder stream, so that everything after the
// failure can be read; its first record says how many lines were lost and why.
class TextFileSink {
 public:
  // Cleans and checks the prefix (an unusable one ends the process), names and opens the file
  // in `directory` or, failing that, in the current directory, and writes the opening text.
  TextFileSink(const std::wstring& prefix, const std::wstring& directory,
               const std::wstring& app_name, bool timestamp_in_name, bool encrypt);
  // Writes the closing text and the segment trailer (when the file takes them) and closes it.
  virtual ~TextFileSink();
  TextFileSink(const TextFileSink&) = delete;
  TextFileSink& operator=(const TextFileSink&) = delete;

  bool is_open() const { return file_.is_open(); }
  // The file's full path (the fall-back one when the log directory could not be used).
  const std::wstring& path() const { return path_; }

  // Appends the encoded record line (base/log/log_entry.h). Safe to call from several threads.
  void Write(std::string_view line);
  // The same for several lines in order, under one hold of the lock.
  void Write(const base::LogLines& lines);
  // Hands the lines written so far to the file, each of them whole (the encoder's held-back
  // bytes included); after a failed write, tries the file again at once. Safe to call from
  // several threads.
  void Flush();

  // Which program writes this log (name, version, process), named in a loss record: the lines
  // lost may include the run's first ones, which said so.
  void SetWriter(std::string writer);

  // Encoded bytes gathered before they are handed to the file in one write.
  static constexpr size_t kWriteSize = 64 * 1024;

 private:
  bool OpenFile(const std::wstring& path);
  // Lines encoded together when a batch is written.
  static constexpr size_t kLinesPerGroup = 256;

  // Encodes the lines of group_ into pending_ (or counts them lost while the file fails), and
  // empties group_; the caller holds lock_.
  void WriteGroupLocked();
  // Hands pending_ to the file and empties it. False when the file took less: the lines whose
  // bytes are not all in it are counted lost, and the sink fails until a retry succeeds.
  bool WritePendingLocked();
  // After a failed write: closes the segment that the failure cut, begins a new one with a
  // record of the loss, and writes them at once. False when the file still fails.
  bool RecoverLocked();
  // Appends to pending_ what the encoder holds back, so that every line encoded so far reads
  // back whole from the file once pending_ is in it.
  void ReleaseHeldLocked();

  // Encoded bytes not yet in the file, and where in them each record line can be read whole.
  struct Pending {
    std::string bytes;
    std::vector<size_t> line_ends;
  };

  std::wstring path_;
  std::wstring prefix_;
  base::os::OutputFile file_;
  bool timestamp_in_name_ = false;
  base::os::Lock lock_;
  std::shared_ptr<base::log_crypt::LogCrypt> encoder_;
  // Under lock_:
  Pending pending_;
  std::string encoded_;                  // reused for every group
  std::vector<size_t> encoded_ends_;     // reused for every group
  std::vector<std::string_view> group_;  // reused for every batch
  std::string held_;                     // reused for released bytes
  uint64_t bytes_in_file_ = 0;
  WriteFailure failure_;
  std::string writer_;
};

}  // namespace g3
