// Stand-in SkinProxy.dll: the skin engine's entry objects. The engine's folder it reports is its
// own, where the stand-in SkinSite.dll lies beside it.
#include <windows.h>

#include "companions/skin_interfaces.h"
#include "standins/common/standin_log.h"
#include "standins/skin/skin_ids.h"

namespace {

using velmora::IMiniUICompatible;
using velmora::ISiteUIProxy;
using velmora::IVuqCustomizine;

HMODULE g_module = nullptr;

class Proxy final : public standin::RefCounted<ISiteUIProxy> {
 public:
  Proxy() : RefCounted(standin::kSkinProxyId) {}
  HRESULT STDMETHODCALLTYPE GetEngineFolder(wchar_t* buffer, UINT chars) override {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(g_module, path, MAX_PATH);
    if (!buffer || length == 0 || length >= MAX_PATH) return E_FAIL;
    wchar_t* slash = wcsrchr(path, L'\\');
    if (slash) *slash = L'\0';
    if (wcslen(path) >= chars) return E_NOT_SUFFICIENT_BUFFER;
    wcscpy(buffer, path);
    standin::Log("skin", "engine-folder %s", standin::Narrow(path).c_str());
    return S_OK;
  }
};

class Compatible final : public standin::RefCounted<IMiniUICompatible> {
 public:
  Compatible() : RefCounted(standin::kSkinCompatibleId) {}
};

class Customizine final : public standin::RefCounted<IVuqCustomizine> {
 public:
  Customizine() : RefCounted(standin::kSkinCustomizineId) {}
  HRESULT STDMETHODCALLTYPE SetCustomMode(LONG mode) override {
    standin::Log("skin", "custom-mode %ld", static_cast<long>(mode));
    return S_OK;
  }
};

int g_skin_manager = 0;

}  // namespace

extern "C" {

__declspec(dllexport) ISiteUIProxy* WINAPI GetSiteUIProxy() { return new Proxy(); }
__declspec(dllexport) IMiniUICompatible* WINAPI GetMiniUICompatible() { return new Compatible(); }
__declspec(dllexport) void* WINAPI GetChangeSkinManager() { return &g_skin_manager; }
__declspec(dllexport) IVuqCustomizine* WINAPI GetVuqCustomizine() { return new Customizine(); }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}
