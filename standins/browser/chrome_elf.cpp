// Stand-in chrome_elf.dll: the engine's early library, loaded (after its trust check) before
// chrome.dll. It exports nothing; it records when it is loaded and unloaded so tests can see the
// order.
#include <windows.h>

#include "standins/common/standin_log.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  // Only kernel32 and the C runtime's formatting are used here, which the loader lock allows.
  if (reason == DLL_PROCESS_ATTACH) {
    standin::Log("chrome_elf", "loaded");
    standin::LogLoaded(module);
  }
  if (reason == DLL_PROCESS_DETACH) standin::Log("chrome_elf", "unloaded");
  return TRUE;
}
