// The age rule every stored time is tested with: whole minutes between a stored registry time
// and now.
#pragma once

#include <cstdint>

namespace velmora {

// Seconds since 1970-01-01 UTC, now.
int64_t NowSeconds();

// The registry form of a time: seconds since 1970, low 32 bits.
uint32_t ToRegistryTime(int64_t seconds);

// Minutes from `stored` (a registry time) to `now`: the difference in days, half a second added
// away from zero, times 1440, truncated. Negative when `stored` lies in the future.
int64_t ElapsedMinutes(uint32_t stored, int64_t now);

}  // namespace velmora
