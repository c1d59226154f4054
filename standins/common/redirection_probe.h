// Whether the calling thread of a 32-bit process on 64-bit Windows has file-system redirection
// off: the system folder's kernel32.dll then opens as the 64-bit file instead of its 32-bit twin
// in SysWOW64. Always false in a 64-bit process, where nothing is redirected.
#pragma once

#include <windows.h>

namespace standin {

inline bool RedirectionIsOff() {
  BOOL wow64 = FALSE;
  if (!::IsWow64Process(::GetCurrentProcess(), &wow64) || !wow64) return false;
  wchar_t kernel[MAX_PATH] = {}, twin[MAX_PATH] = {}, opened[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(kernel, MAX_PATH - 16);
  const UINT twin_length = ::GetSystemWow64DirectoryW(twin, MAX_PATH);
  if (length == 0 || length >= MAX_PATH - 16 || twin_length == 0 || twin_length >= MAX_PATH) return false;
  lstrcatW(kernel, L"\\kernel32.dll");
  const HANDLE file = ::CreateFileW(kernel, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const DWORD opened_length = ::GetFinalPathNameByHandleW(file, opened, MAX_PATH, 0);
  ::CloseHandle(file);
  // "\\?\C:\Windows\SysWOW64\kernel32.dll" is the 32-bit one: redirection on.
  return opened_length > 4 && opened_length < MAX_PATH &&
         ::CompareStringOrdinal(opened + 4, static_cast<int>(twin_length), twin, static_cast<int>(twin_length), TRUE) !=
             CSTR_EQUAL;
}

}  // namespace standin
