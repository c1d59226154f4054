#include "account/account_reader.h"

#include <mutex>

#include "account/login_helper.h"
#include "account/login_interfaces.h"
#include "account/login_library.h"
#include "account/share_store.h"
#include "platform/scoped_handle.h"
#include "platform/suite_folder.h"
#include "platform/system_functions.h"

namespace velmora {
namespace {

// The account reader's manager: SignOnMgr.dll and one manager, kept until the process ends.
// Loading it may show the damaged-file prompt, whose message loop can run page calls and sign-in
// notices that come back here on the same thread: such a nested call goes on without the manager
// instead of waiting for itself. Other threads wait for the first.
void MakeReaderManagerOnce() {
  static std::mutex lock;
  static bool made = false;
  static thread_local bool making = false;
  if (making) return;
  std::lock_guard<std::mutex> hold(lock);
  if (made) return;
  making = true;
  const std::wstring suite = GetSuiteFolder();
  // Without a suite folder there is no library to load (and no drive root to probe).
  HMODULE library = suite.empty() ? nullptr : LoadLoginLibrary(suite + L"\\utils\\SignOnMgr.dll");
  const auto create = GetProcAddressAs<CreateVuqLoginMgrFn>(library, "CreateVuqLoginMgr");
  if (!create || !create(0, 0)) {
    if (library) ::FreeLibrary(library);
  }
  making = false;
  made = true;
}

}  // namespace

bool IsSignedIn() {
  const std::wstring name = std::wstring(kSignedInEventPrefix) + kLoginProductKey;
  ::SetLastError(ERROR_SUCCESS);  // a new event need not reset it
  const ScopedHandle probe(::CreateEventW(nullptr, /*bManualReset=*/FALSE, /*bInitialState=*/FALSE, name.c_str()));
  // Read at once: closing the handle may change the last error.
  const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
  return probe && existed;
}

AccountInfo ReadAccountFrom(const CShareStore& store, CLoginHelper& helper) {
  AccountInfo info;
  info.account_type = store.ReadNumber(L"account_type");
  info.email = store.ReadText(L"real_email");
  info.nick_name = store.ReadText(L"nike_name");
  info.qid = store.ReadText(L"qid");
  info.head_image = store.ReadText(L"head_image");
  if (auto cookies = helper.LookupCookieText(info.email, info.account_type)) info.cookie_text = std::move(*cookies);
  return info;
}

AccountInfo ReadAccount() {
  MakeReaderManagerOnce();
  return ReadAccountFrom(CShareStore::Instance(), CLoginHelper::Instance());
}

}  // namespace velmora
