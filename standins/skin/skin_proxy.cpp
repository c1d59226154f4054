// Stand-in SkinProxy.dll: the skin engine's entry objects. The engine's folder it reports is its
// own, where the stand-in SkinSite.dll lies beside it.
#include <windows.h>

#include "companions/skin_interfaces.h"
#include "standins/common/standin_log.h"

namespace {

using velmora::ISiteUIProxy;
using velmora::IMiniUICompatible;
using velmora::IVuqCustomizine;

// {0B6D5C1E-7A2F-4E38-9C4D-1A2B3C4D5E6F}, {0B6D5C1E-7A2F-4E38-9C4D-1A2B3C4D5E70},
// {0B6D5C1E-7A2F-4E38-9C4D-1A2B3C4D5E71}: the stand-in's own interface ids.
constexpr GUID kProxyId = {0x0B6D5C1E, 0x7A2F, 0x4E38, {0x9C, 0x4D, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F}};
constexpr GUID kCompatibleId = {0x0B6D5C1E, 0x7A2F, 0x4E38, {0x9C, 0x4D, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x70}};
constexpr GUID kCustomizineId = {0x0B6D5C1E, 0x7A2F, 0x4E38, {0x9C, 0x4D, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x71}};

HMODULE g_module = nullptr;

class Proxy final : public standin::RefCounted<ISiteUIProxy> {
 public:
  Proxy() : RefCounted(kProxyId) {}
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
  Compatible() : RefCounted(kCompatibleId) {}
};

class Customizine final : public standin::RefCounted<IVuqCustomizine> {
 public:
  Customizine() : RefCounted(kCustomizineId) {}
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
