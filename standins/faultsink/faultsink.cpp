// Stand-in FaultSink.dll: crash reporting, reduced to recording the two calls.
#include <windows.h>

#include "standins/common/standin_log.h"

extern "C" {
__declspec(dllexport) void Initialize() { standin::Log("faultsink", "initialize cmd=%s", ::GetCommandLineA()); }
__declspec(dllexport) void OnExiting() { standin::Log("faultsink", "exiting"); }
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) standin::LogLoaded(module);
  return TRUE;
}
