#include "config/time_rules.h"

#include <windows.h>

#include <cmath>

namespace velmora {

int64_t NowSeconds() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  constexpr int64_t kTicksPerSecond = 10000000;
  constexpr int64_t kEpochDifferenceSeconds = 11644473600;  // 1601-01-01 to 1970-01-01
  return static_cast<int64_t>(ticks.QuadPart / kTicksPerSecond) - kEpochDifferenceSeconds;
}

uint32_t ToRegistryTime(int64_t seconds) { return static_cast<uint32_t>(seconds); }

int64_t ElapsedMinutes(uint32_t stored, int64_t now) {
  constexpr double kSecondsPerDay = 86400.0;
  constexpr double kHalfSecondInDays = 5.787037037037037e-6;
  double days = static_cast<double>(now - static_cast<int64_t>(stored)) / kSecondsPerDay;
  days += days < 0 ? -kHalfSecondInDays : kHalfSecondInDays;
  return static_cast<int64_t>(std::trunc(days * 1440.0));
}

}  // namespace velmora
