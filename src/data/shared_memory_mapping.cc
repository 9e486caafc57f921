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

std::string BlockSecurityDescriptorSddl(std::string_view user_sid, bool with_label) {
  // D:P  a protected DACL (nothing inherited): generic all for the user and the system.
  // S:   the mandatory label: medium (ME), no write up (NW).
  std::string sddl = "D:P(A;;GA;;;" + std::string(user_sid) + ")(A;;GA;;;SY)";
  if (with_label) sddl += "S:(ML;;NW;;;ME)";
  return sddl;
}

bool SharedMemoryMapping::Adopt(Mapped mapped) {
  if (mapped.handles == nullptr) return false;
  handles_ = std::move(mapped.handles);
  data_ = static_cast<unsigned char*>(mapped.data);
  size_ = mapped.size;
  return true;
}

}  // namespace corvane
