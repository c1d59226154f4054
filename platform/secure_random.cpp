#include "platform/secure_random.h"

#include <windows.h>

#include <bcrypt.h>

#include <limits>

namespace velmora {

bool SystemRandom(unsigned char* out, size_t size) {
  // BCryptGenRandom takes a ULONG count; larger requests are filled in slices.
  while (size > 0) {
    const ULONG slice = size > std::numeric_limits<ULONG>::max() ? std::numeric_limits<ULONG>::max()
                                                                  : static_cast<ULONG>(size);
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, out, slice, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
    out += slice;
    size -= slice;
  }
  return true;
}

}  // namespace velmora
