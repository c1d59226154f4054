// A library planted beside a copy of the program under a system library's name: when loaded, it
// leaves a file named by VELMORA_PLANT_MARK (plus its own process id) to show that it ran.
#include <windows.h>

#include <cwchar>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t mark[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"VELMORA_PLANT_MARK", mark, MAX_PATH);
  if (length == 0 || length >= MAX_PATH - 16) return TRUE;
  std::swprintf(mark + length, MAX_PATH - length, L".%lu", ::GetCurrentProcessId());
  const HANDLE file = ::CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  return TRUE;
}
