// Who is signed in to the suite, and the signed-in account's fields as the login stack shares them.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

class CLoginHelper;
class CShareStore;

// The account fields the side bar uses. Unreadable fields are empty (0 for the type).
struct AccountInfo {
  std::wstring email;       // real_email
  DWORD account_type = 0;   // account_type
  std::wstring nick_name;   // nike_name
  std::wstring qid;         // qid
  std::wstring head_image;  // head_image: path of the avatar image file
  std::wstring cookie_text; // the account's login cookies, "Q=...;T=...;S=...;"
};

// True exactly while the login stack keeps the signed-in event open. Asked anew on every call;
// any thread.
bool IsSignedIn();

// The fields of `store`; the cookie text from `helper`'s login module when it is bound. Any thread.
AccountInfo ReadAccountFrom(const CShareStore& store, CLoginHelper& helper);

// ReadAccountFrom the process-wide store and helper, after making the account reader's manager
// (SignOnMgr.dll from the suite folder) on first use. May end the process through the
// damaged-file prompt.
AccountInfo ReadAccount();

}  // namespace velmora
