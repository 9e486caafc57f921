#include "src/data/shared_memory_mapping.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

struct SharedMemoryMapping::Handles {
  Handles(void* address, size_t length) : address(address), length(length) {}
  Handles(const Handles&) = delete;
  Handles& operator=(const Handles&) = delete;
  ~Handles() { munmap(address, length); }
  void* address;
  size_t length;
};

namespace {

using Failure = SharedMemoryMapping::Failure;
using Step = SharedMemoryMapping::Step;

std::string PosixName(const std::string& name) {
  return "/" + name;
}

// Closes a descriptor when the scope ends. The mapping outlives it.
class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ~ScopedFd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

bool Fail(Step step, Failure* failure) {
  if (failure != nullptr) *failure = {step, static_cast<uint32_t>(errno)};
  return false;
}

// Maps all of the object behind `fd`. A size of 0 (an object whose creator has not sized it
// yet) fails like any other mapping failure, with EINVAL.
SharedMemoryMapping::Mapped MapWhole(int fd, Failure* failure) {
  struct stat status {};
  if (fstat(fd, &status) != 0) return Fail(Step::kMap, failure), SharedMemoryMapping::Mapped{};
  if (status.st_size <= 0) {
    errno = EINVAL;
    return Fail(Step::kMap, failure), SharedMemoryMapping::Mapped{};
  }
  const auto length = static_cast<size_t>(status.st_size);
  void* address = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (address == MAP_FAILED) return Fail(Step::kMap, failure), SharedMemoryMapping::Mapped{};
  return {SharedMemoryMapping::HandlesPtr(new SharedMemoryMapping::Handles(address, length)),
          address, length};
}

}  // namespace

void SharedMemoryMapping::HandlesDeleter::operator()(Handles* handles) const {
  delete handles;
}

bool SharedMemoryMapping::OpenExisting(const std::string& name, Failure* failure) {
  Close();
  const ScopedFd fd(shm_open(PosixName(name).c_str(), O_RDWR | O_CLOEXEC, 0));
  if (fd.get() < 0) return Fail(Step::kOpen, failure);
  return Adopt(MapWhole(fd.get(), failure));
}

bool SharedMemoryMapping::CreateOrOpen(const std::string& name, size_t min_size, Failure* failure) {
  Close();
  // Only this user's processes may open it.
  const ScopedFd fd(shm_open(PosixName(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (fd.get() < 0) return Fail(Step::kOpen, failure);
  struct stat status {};
  if (fstat(fd.get(), &status) != 0) return Fail(Step::kOpen, failure);
  if (static_cast<size_t>(status.st_size) < min_size &&
      ftruncate(fd.get(), static_cast<off_t>(min_size)) != 0) {
    return Fail(Step::kOpen, failure);
  }
  return Adopt(MapWhole(fd.get(), failure));
}

void SharedMemoryMapping::RecheckSize() {
  // The whole object was mapped at its size then; nothing of it is only reserved.
}

bool SharedMemoryMapping::Remove(const std::string& name, uint32_t* error_code) {
  if (shm_unlink(PosixName(name).c_str()) == 0) return true;
  if (error_code != nullptr) *error_code = static_cast<uint32_t>(errno);
  return false;
}

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(getpid());
}

}  // namespace corvane
