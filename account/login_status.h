// What the page is told when an account signs in or out: the login cookies and the user state
// script. Called by the side bar window's ILoginCallBack, on any thread; none throws.
#pragma once

#include <functional>
#include <string>

#include "account/account_reader.h"

namespace velmora {

class CAvatarText;
class ILoginPage;

// The fixed script the page gets at sign-out.
inline constexpr char kSignedOutScript[] =
    "_OnLoginStatusChangeCallback_listener({\"logined\":0, \"nickName\":\"\", \"qid\":\"\", \"avatar\":\"\"})";

// The signed-in user state as compact JSON (members sorted, the writer's trailing line feed
// kept): logined 1, nickName and qid in UTF-8, avatar. Pure.
std::string SignedInUserStateJson(const std::wstring& nick_name, const std::wstring& qid, const std::string& avatar);

// Sign-in: nothing unless `account` is a non-empty text, `status` >= 0, the page has a browser
// and IsSignedIn(); then the account's cookies are pushed and the user state script is run.
// `read_account` supplies the account. True when the page was told.
bool OnSignedInWith(ILoginPage& page, const wchar_t* account, int status,
                    const std::function<AccountInfo()>& read_account, CAvatarText& avatar);
// OnSignedInWith(ReadAccount, the process-wide avatar text).
bool OnSignedIn(ILoginPage& page, const wchar_t* account, int status);

// Sign-out: cookies cleared, the avatar text forgotten, and the fixed script run when the page
// has a browser. No signed-in test.
void OnSignedOutWith(ILoginPage& page, CAvatarText& avatar);
void OnSignedOut(ILoginPage& page);

}  // namespace velmora
