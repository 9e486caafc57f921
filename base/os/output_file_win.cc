#include "base/os/output_file.h"

#include <algorithm>

#include "base/os/win/scoped_resource.h"

namespace base::os {

struct OutputFile::Handle {
  win::ScopedFileHandle file;
};

OutputFile::OutputFile() : handle_(std::make_unique<Handle>()) {}

OutputFile::~OutputFile() {
  Close();
}

bool OutputFile::Open(const std::wstring& path) {
  Close();
  handle_->file.reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return handle_->file.valid();
}

bool OutputFile::is_open() const {
  return handle_->file.valid();
}

WriteOutcome OutputFile::Write(std::string_view bytes) {
  WriteOutcome outcome;
  if (!handle_->file.valid()) {
    outcome.error = ERROR_INVALID_HANDLE;
    return outcome;
  }
  // A write may take part of the bytes (the disk filled up); the next one then says why it
  // takes no more.
  while (outcome.written < bytes.size()) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(bytes.size() - outcome.written, 1u << 30));
    DWORD count = 0;
    if (!WriteFile(handle_->file.get(), bytes.data() + outcome.written, chunk, &count, nullptr)) {
      outcome.written += count;
      outcome.error = GetLastError();
      break;
    }
    if (count == 0) {
      outcome.error = ERROR_WRITE_FAULT;
      break;
    }
    outcome.written += count;
  }
  return outcome;
}

void OutputFile::Close() {
  handle_->file.reset();
}

std::string ErrorText(uint32_t code) {
  // The wide form: the ANSI one gives the text in the system's code page, not UTF-8.
  wchar_t buffer[512] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, buffer, 512, nullptr);
  return ErrorTextFromSystemMessage(
      std::u16string_view(reinterpret_cast<const char16_t*>(buffer), length), code);
}

}  // namespace base::os
