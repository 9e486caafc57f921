#include <cstdint>

#include "base/os/random.h"
#include "base/os/win/scoped_resource.h"
#include "base/os/win/windows_types.h"

namespace base::os {

bool FillSystemRandom(void* buffer, size_t size) {
  HCRYPTPROV raw = 0;
  if (!CryptAcquireContextA(&raw, nullptr, nullptr, PROV_RSA_FULL,
                            CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
    return false;
  }
  const base::win::ScopedCryptProvider provider(raw);
  auto* out = static_cast<BYTE*>(buffer);
  while (size > 0) {
    const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    if (!CryptGenRandom(provider.get(), chunk, out)) return false;
    out += chunk;
    size -= chunk;
  }
  return true;
}

}  // namespace base::os
