#include "base/os/mapped_file.h"

#include <algorithm>
#include <vector>

#include "base/os/win/scoped_resource.h"

namespace base::os {
namespace {

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// The file's blocks as the file system counts them. The stored size comes from
// GetCompressedFileSizeW, the documented count of a sparse or compressed file's bytes on disk:
// for a sparse file NTFS gives the full length as its allocation size, holes and all.
bool ReadFileBlocks(HANDLE file, const std::wstring& path, FileBlocks* blocks, bool* sparse) {
  FILE_STANDARD_INFO standard{};
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
    return false;
  }
  blocks->length = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
  blocks->reserved = static_cast<uint64_t>(standard.AllocationSize.QuadPart);
  blocks->stored = blocks->reserved;
  DWORD high = 0;
  const DWORD low = GetCompressedFileSizeW(path.c_str(), &high);
  if (low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) {
    blocks->stored = (static_cast<uint64_t>(high) << 32) | low;
  }
  *sparse = (basic.FileAttributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0;
  return true;
}

// Makes the file system hold every one of the file's first `size` bytes: the bytes there are
// written back as they are when the file has holes, and zeros are written where it is short.
// (A mapping that grows a file only sets its length, and a page without a block faults at its
// first write once the disk is full.) A sparse file, as an older program may have left it, is
// then marked not sparse, so that nothing is given back later. On failure the file keeps its
// old length.
bool AllocateOnDisk(HANDLE file, const std::wstring& path, uint64_t size) {
  FileBlocks blocks;
  bool sparse = false;
  if (!ReadFileBlocks(file, path, &blocks, &sparse)) return false;
  if (HoldsBlocksFor(blocks, size) && !sparse) return true;
  const uint64_t length = blocks.length;

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
  if (written) {
    if (sparse) {
      // Valid once no range is sparse any more (before Windows 8 only then); the outcome
      // does not matter: every block is there already.
      FILE_SET_SPARSE_BUFFER not_sparse{};
      not_sparse.SetSparse = FALSE;
      DWORD returned = 0;
      DeviceIoControl(file, FSCTL_SET_SPARSE, &not_sparse, sizeof not_sparse, nullptr, 0, &returned,
                      nullptr);
    }
    return true;
  }
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

MappedFile::OpenResult MappedFile::Open(const std::wstring* path, size_t size) {
  Close();
  if (path != nullptr) {
    handles_->file.reset(CreateFileW(path->c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handles_->file.valid()) {
      return GetLastError() == ERROR_SHARING_VIOLATION ? OpenResult::kHeldElsewhere
                                                       : OpenResult::kFailed;
    }
    if (!AllocateOnDisk(handles_->file.get(), *path, size)) {
      Close();
      return OpenResult::kFailed;
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
    return OpenResult::kFailed;
  }
  data_ = static_cast<uint8_t*>(handles_->view.get());
  size_ = size;
  return OpenResult::kMapped;
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
