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

}  // namespace velmora
