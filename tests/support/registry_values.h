// Registry values that tests write; the key is made when needed.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::test {

// `size` bytes of `data` as the value `name` of `subkey`. False when it could not be written.
inline bool SetRegistryValue(HKEY root, const std::wstring& subkey, const wchar_t* name, DWORD type, const void* data,
                             size_t size) {
  return ::RegSetKeyValueW(root, subkey.c_str(), name, type, data, static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

// `text` as a value of `type`, with its terminator unless `terminated` is false.
inline bool SetRegistryText(HKEY root, const std::wstring& subkey, const wchar_t* name, const std::wstring& text,
                            DWORD type = REG_SZ, bool terminated = true) {
  return SetRegistryValue(root, subkey, name, type, text.c_str(), (text.size() + terminated) * sizeof(wchar_t));
}

}  // namespace velmora::test
