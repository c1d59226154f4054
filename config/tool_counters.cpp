#include "config/tool_counters.h"

#include <shlwapi.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "config/app_config.h"
#include "platform/scoped_handle.h"

namespace velmora {

void IncrementToolCounter(const std::wstring& tool) {
  DWORD count = 0, type = REG_NONE, size = sizeof(count);
  if (::SHGetValueW(HKEY_CURRENT_USER, kToolCountersKey, tool.c_str(), &type, &count, &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(count)) {
    count = 0;
  }
  ++count;
  ::SHSetValueW(HKEY_CURRENT_USER, kToolCountersKey, tool.c_str(), REG_DWORD, &count, sizeof(count));
}

std::vector<std::wstring> ListToolsByCount() {
  ScopedRegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kToolCountersKey, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return {};
  return ListToolsByCountIn(key.get());
}

std::vector<std::wstring> ListToolsByCountIn(HKEY key) {
  std::vector<std::pair<std::wstring, DWORD>> tools;
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];  // the longest value name the registry allows
    DWORD name_chars = static_cast<DWORD>(std::size(name));
    DWORD type = REG_NONE, count = 0, size = sizeof(count);
    const LONG status = ::RegEnumValueW(key, index, name, &name_chars, nullptr, &type,
                                        reinterpret_cast<BYTE*>(&count), &size);
    // A value larger than 4 bytes answers ERROR_MORE_DATA: skipped like any other size. Any other
    // failure (the key deleted meanwhile, say) ends the list.
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    if (size != sizeof(count)) continue;
    tools.emplace_back(std::wstring(name, name_chars), count);
  }
  std::stable_sort(tools.begin(), tools.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  std::vector<std::wstring> names;
  for (auto& tool : tools) names.push_back(std::move(tool.first));
  return names;
}

}  // namespace velmora
