#pragma once
// A file mapped into memory for reading and writing. The operating system writes the mapped
// pages back to the file, also after the process has ended abruptly.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace base::os {

// What the file system says of a file: its length, the bytes it reserves for it, and the bytes
// it stores on disk. For a sparse or compressed file the stored bytes are fewer than the
// length, while the reserved size may still count the holes (NTFS does).
struct FileBlocks {
  uint64_t length = 0;
  uint64_t reserved = 0;
  uint64_t stored = 0;
};

// True when every one of the file's first `size` bytes has a block on disk, so that no page of
// a mapping of them needs a new block at its first write.
inline bool HoldsBlocksFor(const FileBlocks& file, uint64_t size) {
  return file.length >= size && file.reserved >= size && file.stored >= size;
}

class MappedFile {
 public:
  enum class OpenResult {
    kMapped,
    // Another process (or another owner in this one) has the file open for writing.
    kHeldElsewhere,
    kFailed,
  };

  MappedFile();
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Opens the file at `path` for reading and writing (created when missing, its content kept),
  // shared for reading only (elsewhere than on Windows: with an exclusive advisory lock), makes the
  // file system hold all of its first `size` bytes (growing it when shorter) and maps them. A
  // mapped page without a block behind it would fault at its first write once the disk is full, so
  // a file whose blocks cannot all be had (no space, a quota) is not mapped: it is left at its old
  // length. Without a path the mapping is backed by anonymous memory. Whatever was open before is
  // closed first. kHeldElsewhere when another owner has the file open for writing, kFailed when it
  // cannot be opened, allocated or mapped otherwise; then nothing is mapped.
  OpenResult Open(const std::wstring* path, size_t size);

  // The first mapped byte; null while nothing is mapped.
  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool has_file() const;

  // Flushes the file's buffers to disk and sets its last-write time to now. False, with the
  // platform's error code left for LastErrorCode, when no file is open.
  bool FlushAndTouch();

  // Unmaps and closes; nothing is written. A second call does nothing.
  void Close();

 private:
  struct Handles;
  std::unique_ptr<Handles> handles_;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace base::os
