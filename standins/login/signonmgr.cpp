// Stand-in SignOnMgr.dll: the login manager. It records its calls; the login dialog is not drawn
// (a test or demo signs in through AcctClient.dll's StandinSignIn).
#include <windows.h>

#include "account/login_interfaces.h"
#include "standins/common/standin_log.h"

namespace {

class Manager final : public velmora::IVuqLoginMgr {
 public:
  BOOL Initialize(const wchar_t* product) override {
    standin::Log("signonmgr", "initialize %s", standin::Narrow(product).c_str());
    return product != nullptr;
  }
  BOOL ShowLoginDialog(const wchar_t* product, HWND owner, DWORD mode, DWORD reserved) override {
    standin::Log("signonmgr", "dialog %s owner=%d mode=%lu %lu", standin::Narrow(product).c_str(), owner != nullptr,
                 static_cast<unsigned long>(mode), static_cast<unsigned long>(reserved));
    return TRUE;
  }
  void Release(const wchar_t* product) override {
    standin::Log("signonmgr", "release %s", standin::Narrow(product).c_str());
    delete this;
  }
};

}  // namespace

extern "C" __declspec(dllexport) velmora::IVuqLoginMgr* WINAPI CreateVuqLoginMgr(DWORD reserved, DWORD flags) {
  standin::Log("signonmgr", "create %lu %lu", static_cast<unsigned long>(reserved), static_cast<unsigned long>(flags));
  return new Manager();
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) standin::LogLoaded(module);
  return TRUE;
}
