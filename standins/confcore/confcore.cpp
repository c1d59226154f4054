// Stand-in ConfCore.dll: the program only locates and verifies it.
#include <windows.h>

#include "standins/common/standin_log.h"

extern "C" __declspec(dllexport) DWORD WINAPI ConfCoreVersion() { return 1; }

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    standin::Log("confcore", "loaded");
    standin::LogLoaded(module);
  }
  return TRUE;
}
