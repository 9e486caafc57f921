#pragma once
// A file written from its start by one owner, as the text log is. Each write says how many of
// its bytes reached the file and, when not all did, the platform's error, so that the owner
// knows exactly what the file holds after a failure (a full disk, a quota, a drive gone) and
// can go on writing once the file takes bytes again.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace base::os {

struct WriteOutcome {
  size_t written = 0;  // bytes that reached the file, from the start of the write
  uint32_t error = 0;  // the platform's error code when not all of them did; 0 otherwise
};

class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens `path` for writing, creating it or truncating it, shared for reading and writing by
  // others. False when it cannot be opened, with the platform's error code left for
  // LastErrorCode.
  bool Open(const std::wstring& path);
  bool is_open() const;

  // Appends `bytes` after what was written before, as far as the file takes them.
  WriteOutcome Write(std::string_view bytes);

  // Closes the file; a second call does nothing.
  void Close();

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

// The platform's words for an error code, such as "No space left on device", in UTF-8 whatever
// the system's language and code page, without a line end or a closing full stop.
std::string ErrorText(uint32_t code);

// A system's message text as UTF-16 (as Windows gives it in any language) in UTF-8, without
// its line end or closing full stop; "error <code>" when nothing is left.
std::string ErrorTextFromSystemMessage(std::u16string_view message, uint32_t code);

}  // namespace base::os
