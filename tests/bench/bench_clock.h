// Timing for the benchmark programs: a monotonic clock in milliseconds and the median of a run.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace velmora::bench {

inline double NowMs() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The middle value; for an even count, the mean of the two middle ones.
inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace velmora::bench
