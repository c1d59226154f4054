// Random bytes for keys and padding. Callers take a RandomSource so that tests can pass a
// predictable one; the program passes SystemRandom.
#pragma once

#include <cstddef>
#include <functional>

namespace velmora {

// Fills `size` bytes at `out`; false when no random bytes could be had (the bytes are then
// not to be used). Called on the caller's thread.
using RandomSource = std::function<bool(unsigned char* out, size_t size)>;

// The system's cryptographic generator (BCryptGenRandom). Any thread; false on failure.
[[nodiscard]] bool SystemRandom(unsigned char* out, size_t size);

}  // namespace velmora
