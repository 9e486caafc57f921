#include "base/os/mapped_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/os/posix/native_path.h"

namespace base::os {

struct MappedFile::Handles {
  int fd = -1;
};

MappedFile::MappedFile() : handles_(std::make_unique<Handles>()) {}

MappedFile::~MappedFile() {
  Close();
}

bool MappedFile::has_file() const {
  return handles_->fd >= 0;
}

MappedFile::OpenResult MappedFile::Open(const std::wstring* path, size_t size) {
  Close();
  int fd = -1;
  if (path != nullptr) {
    fd = ::open(NativePath(*path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return OpenResult::kFailed;
    // POSIX has no share modes: an exclusive advisory lock, held while the file is open, keeps
    // a second writer out as Windows' share mode does.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const bool held = errno == EWOULDBLOCK;
      ::close(fd);
      return held ? OpenResult::kHeldElsewhere : OpenResult::kFailed;
    }
    // Blocks for every byte, also for holes an earlier writer left: ftruncate alone gives a
    // sparse file.
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      ::close(fd);
      return OpenResult::kFailed;
    }
    const int error = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    if (error != 0) {
      if (st.st_size < static_cast<off_t>(size)) (void)::ftruncate(fd, st.st_size);
      ::close(fd);
      errno = error;
      return OpenResult::kFailed;
    }
  }
  const int flags = fd >= 0 ? MAP_SHARED : MAP_SHARED | MAP_ANONYMOUS;
  void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, fd, 0);
  if (view == MAP_FAILED) {
    if (fd >= 0) ::close(fd);
    return OpenResult::kFailed;
  }
  handles_->fd = fd;
  data_ = static_cast<uint8_t*>(view);
  size_ = size;
  return OpenResult::kMapped;
}

bool MappedFile::FlushAndTouch() {
  if (handles_->fd < 0) {
    errno = EBADF;
    return false;
  }
  if (data_ != nullptr) ::msync(data_, size_, MS_SYNC);
  ::fsync(handles_->fd);
  const timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
  ::futimens(handles_->fd, times);
  return true;
}

void MappedFile::Close() {
  if (data_ != nullptr) ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
  if (handles_->fd >= 0) ::close(handles_->fd);
  handles_->fd = -1;
}

}  // namespace base::os
