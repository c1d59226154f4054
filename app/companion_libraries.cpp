#include "app/companion_libraries.h"

#include <windows.h>

#include <string>

#include "platform/suite_folder.h"
#include "platform/suite_interfaces.h"
#include "platform/system_functions.h"
#include "platform/trust.h"

namespace velmora {
namespace {

using CreateObjectFn = HRESULT(WINAPI*)(const GUID* iid, void** object);
using FaultSinkFn = void (*)();

HMODULE g_host_kit = nullptr;
IHostKitService* g_services[2] = {};

// The caller decides how long the library stays loaded.
HMODULE LoadFromSuite(const wchar_t* name) {
  const std::wstring suite = GetSuiteFolder();
  return suite.empty() ? nullptr : LoadTrustedLibrary(suite + L"\\" + name).release();
}

}  // namespace

void LoadCompanionLibraries() {
  g_host_kit = LoadFromSuite(L"HostKit.dll");
  if (g_host_kit) {
    auto create = GetProcAddressAs<CreateObjectFn>(g_host_kit, "CreateObject");
    if (!create) {
      ::FreeLibrary(g_host_kit);
      g_host_kit = nullptr;
    } else {
      const GUID* ids[2] = {&kHostKitServiceA, &kHostKitServiceB};
      for (int i = 0; i < 2; ++i) {
        void* object = nullptr;
        if (create(ids[i], &object) == S_OK && object) {
          g_services[i] = static_cast<IHostKitService*>(object);
          g_services[i]->Start();
        }
      }
    }
  }
  if (HMODULE fault_sink = LoadFromSuite(L"FaultSink.dll")) {
    if (auto initialize = GetProcAddressAs<FaultSinkFn>(fault_sink, "Initialize")) initialize();
  }
}

void NotifyFaultSinkExiting() {
  if (auto on_exiting = GetProcAddressAs<FaultSinkFn>(::GetModuleHandleW(L"FaultSink.dll"), "OnExiting")) {
    on_exiting();
  }
}

void ReleaseCompanionLibraries() {
  NotifyFaultSinkExiting();
  for (IHostKitService*& service : g_services) {
    if (!service) continue;
    service->Stop();
    service->Release();
    service = nullptr;
  }
  if (g_host_kit) {
    ::FreeLibrary(g_host_kit);
    g_host_kit = nullptr;
  }
}

}  // namespace velmora
