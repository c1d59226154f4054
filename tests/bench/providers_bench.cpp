// Time of the system information report after the first one (the values kept from the first
// report are not read again), and of the locally recorded tool list with 200 counters, each the
// median of many rounds. The counters are written under the settings' AITools key, which is put
// back afterwards.
//   providers_bench [rounds]
// Not a test: it asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "config/app_config.h"
#include "platform/text.h"
#include "providers/system_info.h"
#include "providers/tool_launcher.h"
#include "tests/bench/bench_clock.h"
#include "tests/support/registry_backup.h"

namespace {

using velmora::bench::Median;
using velmora::bench::NowMs;

template <typename Work>
double MedianMs(int rounds, Work work) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const double start = NowMs();
    work();
    times.push_back(NowMs() - start);
  }
  return Median(times);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 200;
  size_t sink = 0;

  velmora::CSystemInfo system_info([] { return std::wstring(L"13.1.1001.0"); });
  const double first_start = NowMs();
  sink += system_info.GetSystemInfoJson().size();
  const double first = NowMs() - first_start;
  const double report = MedianMs(rounds, [&] { sink += system_info.GetSystemInfoJson().size(); });

  double top = 0;
  {
    velmora::test::ScopedRegistryBackup settings(HKEY_CURRENT_USER, velmora::kSettingsKey);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, velmora::kToolCountersKey);
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, velmora::kToolCountersKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) == ERROR_SUCCESS) {
      for (DWORD i = 0; i < 200; ++i) {
        const std::wstring name = velmora::FormatW(L"tool-%03lu", i);
        const DWORD count = (i * 7919) % 97;
        ::RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof(count));
      }
      ::RegCloseKey(key);
    }
    top = MedianMs(rounds, [&] { sink += velmora::LocalTopJson().size(); });
    if (velmora::LocalTopJson().find("tool-") == std::string::npos) {
      std::fprintf(stderr, "getLocalTop lists none of the 200 counters\n");
      sink = 0;
    }
  }

  std::printf("getSystemInfo first report: %.3f ms\n", first);
  std::printf("getSystemInfo after the first (median of %d): %.3f ms (goal <= 2 ms)\n", rounds, report);
  std::printf("getLocalTop with 200 counters (median of %d): %.3f ms (goal <= 1 ms)\n", rounds, top);
  return sink == 0 ? 1 : 0;
}
