#include "src/data/shared_memory_mapping.h"

#include <utility>

namespace corvane {

SharedMemoryMapping::SharedMemoryMapping() = default;
SharedMemoryMapping::~SharedMemoryMapping() {
  Close();
}

void SharedMemoryMapping::Close() {
  handles_.reset();
  data_ = nullptr;
  size_ = 0;
}

bool SharedMemoryMapping::Adopt(Mapped mapped) {
  if (mapped.handles == nullptr) return false;
  handles_ = std::move(mapped.handles);
  data_ = static_cast<unsigned char*>(mapped.data);
  size_ = mapped.size;
  return true;
}

}  // namespace corvane
