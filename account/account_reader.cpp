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
void MakeReaderManagerOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    HMODULE library = LoadLoginLibrary(GetSuiteFolder() + L"\\utils\\SignOnMgr.dll");
    const auto create = GetProcAddressAs<CreateVuqLoginMgrFn>(library, "CreateVuqLoginMgr");
    if (!create || !create(0, 0)) {
      if (library) ::FreeLibrary(library);
    }
  });
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
