#include "base/os/mapped_file.h"

#include "base/os/win/scoped_resource.h"

namespace base::os {

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
