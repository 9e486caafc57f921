#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/keygen/key_file.h"

namespace corvane::keygen {
namespace {

std::string Reason(const std::string& path) {
  return path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

StagedKeyFile::~StagedKeyFile() {
  if (!staged_path_.empty()) ::unlink(staged_path_.c_str());
}

bool StagedKeyFile::Write(std::string_view text, bool owner_only, std::string* error) {
  // O_EXCL refuses any name that is taken, a link included, so nothing is written through one.
  const mode_t mode = owner_only ? 0600 : 0644;
  int fd = -1;
  std::string staged;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    staged = path_ + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    *error = Reason(staged);
    return false;
  }
  staged_path_ = staged;
  const bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  if (!ok) *error = Reason(staged_path_);
  if (::close(fd) != 0 && ok) {
    *error = Reason(staged_path_);
    return false;
  }
  return ok;
}

StagedKeyFile::Placed StagedKeyFile::Place(bool replace, std::string* error) {
  // rename replaces a link at the final path itself; link refuses any name that is taken.
  const int result = replace ? ::rename(staged_path_.c_str(), path_.c_str())
                             : ::link(staged_path_.c_str(), path_.c_str());
  if (result != 0) {
    *error = Reason(path_);
    return errno == EEXIST ? Placed::kExists : Placed::kFailed;
  }
  if (!replace) ::unlink(staged_path_.c_str());
  staged_path_.clear();
  placed_ = !replace;
  return Placed::kPlaced;
}

void StagedKeyFile::Unplace() {
  if (placed_) ::unlink(path_.c_str());
  placed_ = false;
}

}  // namespace corvane::keygen
