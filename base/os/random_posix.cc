#include <sys/random.h>

#include <cerrno>
#include <cstdint>

#include "base/os/random.h"

namespace base::os {

bool FillSystemRandom(void* buffer, size_t size) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    const ssize_t got = getrandom(out, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace base::os
