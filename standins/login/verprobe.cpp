// Stand-in VerProbe.dll: a beta suite when the environment variable VELMORA_STANDIN_BETA is "1".
#include <windows.h>

#include "standins/common/standin_log.h"

extern "C" __declspec(dllexport) BOOL WINAPI IsBetaVersion() {
  wchar_t value[4] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"VELMORA_STANDIN_BETA", value, 4);
  const BOOL beta = length == 1 && value[0] == L'1';
  standin::Log("verprobe", "is beta %d", beta);
  return beta;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) standin::LogLoaded(module);
  return TRUE;
}
