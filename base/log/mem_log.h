#pragma once
// The memory log: a ring of the most recent record lines inside a mapped file, so that the
// file holds them also after an abrupt end of the process.
//
// File layout (3145890 bytes): the encoder's 150-byte segment header, the 3145728-byte ring,
// the encoder's 12-byte segment trailer. The write position is kept in memory only; the ring's
// end mark (log_ring.h) shows a reader of the file where the newest piece ends.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "base/log/log_ring.h"
#include "base/os/lock.h"
#include "base/os/mapped_file.h"

namespace base::log_crypt {
class LogCrypt;
}

namespace base {

class MemLog {
 public:
  static constexpr uint32_t kCapacity = 0x300000;
  static constexpr uint32_t kHeaderSize = 150;
  static constexpr uint32_t kTrailerSize = 12;
  static constexpr uint32_t kFileSize = kHeaderSize + kCapacity + kTrailerSize;

  MemLog();
  ~MemLog();
  MemLog(const MemLog&) = delete;
  MemLog& operator=(const MemLog&) = delete;

  // Opens (or creates) the file at `path` and maps it, writing a new header and trailer; the
  // ring bytes of an earlier run stay until they are overwritten. Without a path the ring
  // lives in anonymous memory. A file that cannot be opened or mapped leaves the log unmapped;
  // the result says whether another owner holds it (os::MappedFile::OpenResult).
  os::MappedFile::OpenResult Open(const std::wstring* path, bool encrypt);

  // Encodes a record's whole line (base/log/log_entry.h) and places it in the ring. Encoding
  // and placing happen under one lock, so pieces from several threads reach the ring in
  // encoding order.
  void Write(std::string_view line);

  // Header, oldest ring content, newest ring content and trailer to the file at `path`,
  // replacing its content. False (reported to the debugger output) when it cannot be opened.
  bool DumpToFile(const std::wstring& path);

  // Flushes the file to disk and stamps its last-write time.
  void FlushFile();

  // Places what the encoder still held back of the newest piece, followed by zero bytes, then
  // unmaps and closes.
  void Close();

  bool mapped() const { return file_.data() != nullptr; }
  uint32_t position();
  bool wrapped();
  std::wstring_view path() const { return path_; }

 private:
  os::Lock lock_;  // guards ring_, encoder_ state and the buffers below
  os::MappedFile file_;
  LogRing ring_;
  std::shared_ptr<log_crypt::LogCrypt> encoder_;
  std::wstring path_;
  std::string piece_;  // reused, under lock_
};

}  // namespace base
