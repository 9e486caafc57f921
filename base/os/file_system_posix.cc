#include "base/os/file_system.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "base/os/posix/native_path.h"

namespace base::os {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

CreateDirectoryResult CreateDirectoryTree(const std::wstring& path) {
  std::string native = NativePath(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) {
    errno = ENOENT;
    return CreateDirectoryResult::kFailed;
  }
  if (IsDirectory(native)) return CreateDirectoryResult::kAlreadyExists;
  // Each missing parent in turn, from the top.
  for (size_t at = native.find('/', 1); at != std::string::npos; at = native.find('/', at + 1)) {
    const std::string parent = native.substr(0, at);
    if (::mkdir(parent.c_str(), 0777) != 0 && errno != EEXIST)
      return CreateDirectoryResult::kFailed;
  }
  if (::mkdir(native.c_str(), 0777) != 0) {
    if (errno == EEXIST && IsDirectory(native)) return CreateDirectoryResult::kAlreadyExists;
    return CreateDirectoryResult::kFailed;
  }
  return CreateDirectoryResult::kCreated;
}

void CreateDirectoryOnly(const std::wstring& path) {
  ::mkdir(NativePath(path).c_str(), 0777);
}

bool PathExists(const std::wstring& path) {
  struct stat st {};
  return ::stat(NativePath(path).c_str(), &st) == 0;
}

std::wstring ExecutablePath() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t count = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (count <= 0) return {};
    if (static_cast<size_t>(count) < buffer.size()) {
      buffer.resize(static_cast<size_t>(count));
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  return Utf8ToWide(buffer);
}

std::filesystem::path FileSystemPath(const std::wstring& path) {
  return std::filesystem::path(NativePath(path));
}

bool WriteWholeFile(const std::wstring& path, std::initializer_list<std::string_view> pieces,
                    uint32_t* error) {
  const int fd = ::open(NativePath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = fd >= 0;
  for (auto piece = pieces.begin(); ok && piece != pieces.end(); ++piece) ok = WriteAll(fd, *piece);
  if (ok) ok = ::fsync(fd) == 0;
  if (!ok && error != nullptr) *error = LastErrorCode();
  if (fd >= 0) ::close(fd);
  return ok;
}

uint32_t LastErrorCode() {
  return static_cast<uint32_t>(errno);
}

}  // namespace base::os
