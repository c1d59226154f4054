// CLoginHelper: the side bar's binding to SignOn.dll's login module and login object, and the
// callback the login object reports to. One per process (Instance()); tests make their own.
#pragma once

#include <windows.h>

#include <mutex>
#include <optional>
#include <string>

#include "account/login_interfaces.h"
#include "platform/scoped_handle.h"

namespace velmora {

// The five texts of an account the login object reported.
struct LoginAccountTexts {
  std::wstring account;
  std::wstring qid;
  std::wstring nick_name;
  std::wstring email;
  std::wstring head_image;
};

class CLoginHelper final : public IAccountCallbackW {
 public:
  // The process-wide helper; on every call, initialises the login module from GetSuiteFolder()
  // when that has not yet succeeded. Any thread. May end the process through the damaged-file
  // prompt (LoadLoginLibrary).
  static CLoginHelper& Instance();

  CLoginHelper();
  // Releases the login object and module and unloads SignOn.dll.
  ~CLoginHelper();
  CLoginHelper(const CLoginHelper&) = delete;
  CLoginHelper& operator=(const CLoginHelper&) = delete;

  // Binds "<suite_folder>\SignOn.dll" unless already bound: module made and initialised, client
  // key set, login object set up when the module offers one. True once bound; a failure leaves
  // nothing loaded, so a later call tries again. Any thread.
  bool EnsureInitialized(const std::wstring& suite_folder);
  bool IsInitialized() const;

  // The cookie text of the account `email` of `account_type`, asked of the login module. Nullopt
  // when the module is not bound or has no such account. Any thread.
  std::optional<std::wstring> LookupCookieText(const std::wstring& email, DWORD account_type);

  // The last account the login object reported (event codes 1 to 3), and the last text it sent
  // (codes 39 to 42) with the auto-reset event set for each such text.
  LoginAccountTexts LastAccount() const;
  std::wstring LastNotificationText() const;
  HANDLE NotificationEvent() const { return notification_event_.get(); }

  // IAccountCallbackW. Any thread; never throws.
  LRESULT STDMETHODCALLTYPE OnAccountEvent(UINT code, WPARAM argument, const wchar_t* text) override;

 private:
  bool BindLocked(const std::wstring& suite_folder);
  void ReleaseLocked();

  // Recursive: the login object may report to us while we are setting it up.
  mutable std::recursive_mutex lock_;
  ScopedLibrary library_;
  IVuqLoginModule* module_ = nullptr;
  IVuqLogin* login_ = nullptr;
  LoginAccountTexts account_;
  std::wstring notification_text_;
  ScopedHandle notification_event_;
  bool initialized_ = false;
};

}  // namespace velmora
