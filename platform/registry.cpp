#include "platform/registry.h"

#include <algorithm>
#include <vector>

#include "platform/scoped_handle.h"

namespace velmora {

std::optional<std::wstring> QueryRegistryString(HKEY root, const std::wstring& subkey, const std::wstring& name,
                                                size_t max_chars) {
  ScopedRegKey key;
  if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS) return std::nullopt;
  std::vector<wchar_t> buffer(max_chars + 1, L'\0');
  DWORD type = REG_NONE;
  DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) !=
      ERROR_SUCCESS) {
    return std::nullopt;  // ERROR_MORE_DATA included: a longer value is refused, not cut.
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  // The bytes come back as stored: a value written without its terminator arrives unterminated,
  // and the zeroed tail of the buffer must not stand in for it.
  const wchar_t* begin = buffer.data();
  const wchar_t* end = begin + std::min<size_t>(bytes / sizeof(wchar_t), buffer.size());
  const wchar_t* terminator = std::find(begin, end, L'\0');
  if (terminator == end) return std::nullopt;
  return std::wstring(begin, terminator);
}

std::vector<std::wstring> SubkeyNames(HKEY key, size_t max_chars) {
  std::vector<std::wstring> names;
  std::vector<wchar_t> name(max_chars + 1, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD chars = static_cast<DWORD>(name.size());
    const LONG status = ::RegEnumKeyExW(key, index, name.data(), &chars, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;  // longer than asked for
    if (status != ERROR_SUCCESS) break;       // ERROR_NO_MORE_ITEMS, or a failure that would repeat
    names.emplace_back(name.data(), chars);
  }
  return names;
}

}  // namespace velmora
