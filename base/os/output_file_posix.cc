#include "base/os/output_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "base/os/posix/native_path.h"

namespace base::os {
namespace {

// The GNU strerror_r returns its text (which need not be in the buffer), the XSI one a status.
[[maybe_unused]] std::string StrerrorText(const char* text, const char*) {
  return text != nullptr ? text : "";
}
[[maybe_unused]] std::string StrerrorText(int status, const char* buffer) {
  return status == 0 ? buffer : "";
}

}  // namespace

struct OutputFile::Handle {
  int fd = -1;
};

OutputFile::OutputFile() : handle_(std::make_unique<Handle>()) {}

OutputFile::~OutputFile() {
  Close();
}

bool OutputFile::Open(const std::wstring& path) {
  Close();
  handle_->fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return handle_->fd >= 0;
}

bool OutputFile::is_open() const {
  return handle_->fd >= 0;
}

WriteOutcome OutputFile::Write(std::string_view bytes) {
  WriteOutcome outcome;
  if (handle_->fd < 0) {
    outcome.error = EBADF;
    return outcome;
  }
  // A write may take part of the bytes (the file reached its size limit, the disk filled up);
  // the next one then says why it takes no more.
  while (outcome.written < bytes.size()) {
    const ssize_t count =
        ::write(handle_->fd, bytes.data() + outcome.written, bytes.size() - outcome.written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      outcome.error = count < 0 ? static_cast<uint32_t>(errno) : EIO;
      break;
    }
    outcome.written += static_cast<size_t>(count);
  }
  return outcome;
}

void OutputFile::Close() {
  if (handle_->fd >= 0) ::close(handle_->fd);
  handle_->fd = -1;
}

std::string ErrorText(uint32_t code) {
  char buffer[256] = {};
  const std::string text =
      StrerrorText(::strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer);
  return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace base::os
