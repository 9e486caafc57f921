#include "base/os/mapped_file.h"

#include <algorithm>
#include <vector>

#include "base/os/win/scoped_resource.h"

namespace base::os {
namespace {

// Makes the file system hold every one of the file's first `size` bytes: the bytes there are
// written back as they are when the file has holes, and zeros are written where it is short.
// (A mapping that grows a file only sets its length, and a page without a block faults at its
// first write once the disk is full.) On failure the file keeps its old length.
OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

bool AllocateOnDisk(HANDLE file, uint64_t size) {
  FILE_STANDARD_INFO info{};
  if (!GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info)) return false;
  const uint64_t length = static_cast<uint64_t>(info.EndOfFile.QuadPart);
  if (length >= size && static_cast<uint64_t>(info.AllocationSize.QuadPart) >= size) return true;

  std::vector<char> chunk(64 * 1024);
  bool written = true;
  for (uint64_t offset = 0; written && offset < size;) {
    const DWORD count = static_cast<DWORD>(std::min<uint64_t>(chunk.size(), size - offset));
    DWORD read = 0;
    OVERLAPPED at = At(offset);
    if (offset < length && !ReadFile(file, chunk.data(), count, &read, &at)) {
      written = false;
      break;
    }
    std::fill(chunk.begin() + read, chunk.begin() + count, '\0');
    DWORD stored = 0;
    at = At(offset);
    written = WriteFile(file, chunk.data(), count, &stored, &at) && stored == count;
    offset += count;
  }
  if (written) return true;
  const DWORD error = GetLastError();
  LARGE_INTEGER old_end{};
  old_end.QuadPart = static_cast<LONGLONG>(length);
  if (SetFilePointerEx(file, old_end, nullptr, FILE_BEGIN)) SetEndOfFile(file);
  SetLastError(error);
  return false;
}

}  // namespace

struct MappedFile::Handles {
  win::ScopedFileHandle file;
  win::ScopedHandle mapping;
  win::ScopedMappedView view;
};

MappedFile::MappedFile() : handles_(std::make_unique<Handles>()) {}

MappedFile::~MappedFile() {
  Close();
}

bool MappedFile::has_file() const {
  return handles_->file.valid();
}

bool MappedFile::Open(const std::wstring* path, size_t size) {
  Close();
  if (path != nullptr) {
    handles_->file.reset(CreateFileW(path->c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handles_->file.valid()) return false;
    if (!AllocateOnDisk(handles_->file.get(), size)) {
      Close();
      return false;
    }
  }
  // Without a file the mapping is backed by the paging file. A file shorter than `size` grows.
  const uint64_t size64 = size;
  handles_->mapping.reset(CreateFileMappingW(
      handles_->file.valid() ? handles_->file.get() : INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
      static_cast<DWORD>(size64 >> 32), static_cast<DWORD>(size64), nullptr));
  if (handles_->mapping.valid()) {
    handles_->view.reset(MapViewOfFile(handles_->mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, size));
  }
  if (!handles_->view.valid()) {
    Close();
    return false;
  }
  data_ = static_cast<uint8_t*>(handles_->view.get());
  size_ = size;
  return true;
}

bool MappedFile::FlushAndTouch() {
  if (!handles_->file.valid()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  FlushFileBuffers(handles_->file.get());
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  SetFileTime(handles_->file.get(), nullptr, nullptr, &now);
  return true;
}

void MappedFile::Close() {
  data_ = nullptr;
  size_ = 0;
  handles_->view.reset();
  handles_->mapping.reset();
  handles_->file.reset();
}

}  // namespace base::os
