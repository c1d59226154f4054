// CLoginHelperEx: one side bar window's binding to the login stack's manager (SignOnMgr.dll, the
// login dialog) and client (AcctClient.dll, sign-in and sign-out notifications), forwarding the
// notifications to the window's ILoginCallBack. A member of the window.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

#include "account/login_interfaces.h"
#include "platform/scoped_handle.h"

namespace velmora {

class ILoginCallBack;

class CLoginHelperEx final : public safeid::IVuqExpClientListener {
 public:
  CLoginHelperEx() = default;
  // Tears down when that has not been done.
  ~CLoginHelperEx();
  CLoginHelperEx(const CLoginHelperEx&) = delete;
  CLoginHelperEx& operator=(const CLoginHelperEx&) = delete;

  // While the window is created (its thread): `sink` receives the notifications from now on;
  // the manager ("<suite_folder>\Utils\SignOnMgr.dll", initialised with "safe") and the client
  // ("<suite_folder>\Utils\AcctClient.dll", started with 3, this as its listener) are made when
  // not yet there. Whatever fails stays absent, quietly.
  void SetUp(ILoginCallBack* sink, const std::wstring& suite_folder);

  // The sink is cleared under the lock: a notification in flight finishes first, none reaches the
  // sink afterwards. The bindings stay.
  void DetachSink();

  // While the window is destroyed: the sink is cleared under the lock (a notification in flight
  // finishes first, none reaches the sink afterwards), the client released, the manager released
  // with "safe", both libraries unloaded.
  void TearDown();

  // Asks the manager to show the login dialog owned by `owner`. False when there is no manager.
  bool ShowLoginDialog(HWND owner);

  bool HasManager() const { return manager_ != nullptr; }
  bool HasClient() const { return client_ != nullptr; }

  // safeid::IVuqExpClientListener: any thread of the login stack; never throws.
  void OnLogin(const wchar_t* product, const wchar_t* account, int status, void* reserved) override;
  void OnLogout(const wchar_t* product, const wchar_t* account, int reason) override;
  void OnAccountChanged(const wchar_t* product, const wchar_t* account) override;
  void OnTokenRefreshed(const wchar_t* product, const wchar_t* account) override;
  void OnProfileChanged(const wchar_t* product, const wchar_t* account) override;
  void OnServiceStateChanged(const wchar_t* product, int state) override;
  void OnMessage(const wchar_t* product, const wchar_t* text) override;

 private:
  void MakeManager(const std::wstring& suite_folder);
  void MakeClient(const std::wstring& suite_folder);

  // Lives as long as the object, not only until TearDown: a notification thread may still be
  // waiting for it when the client is released.
  std::mutex lock_;
  ILoginCallBack* sink_ = nullptr;  // guarded by lock_
  ScopedLibrary manager_library_;
  ScopedLibrary client_library_;
  IVuqLoginMgr* manager_ = nullptr;
  IVuqExpClient* client_ = nullptr;
};

}  // namespace velmora
