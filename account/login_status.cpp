#include "account/login_status.h"

#include <json/json.h>

#include "account/avatar_text.h"
#include "account/login_cookies.h"
#include "account/login_page.h"
#include "platform/text.h"

namespace velmora {
namespace {

constexpr char kLoginStatusListener[] = "_OnLoginStatusChangeCallback_listener(";

}  // namespace

std::string SignedInUserStateJson(const std::wstring& nick_name, const std::wstring& qid, const std::string& avatar) {
  Json::Value state(Json::objectValue);
  state["logined"] = 1;
  state["nickName"] = WideToUtf8(nick_name);
  state["qid"] = WideToUtf8(qid);
  state["avatar"] = avatar;
  return Json::FastWriter().write(state);
}

bool OnSignedInWith(ILoginPage& page, const wchar_t* account, int status,
                    const std::function<AccountInfo()>& read_account, CAvatarText& avatar) {
  try {
    if (!account || !*account || status < 0 || !page.HasBrowser() || !IsSignedIn()) return false;
    const AccountInfo info = read_account();
    PushLoginCookies(page, ParseLoginCookies(info.cookie_text));
    const std::string json = SignedInUserStateJson(info.nick_name, info.qid, avatar.Get(info.head_image));
    page.RunScript(kLoginStatusListener + json + ")");
    return true;
  } catch (...) {
    return false;  // out of memory: the page hears of the next sign-in
  }
}

bool OnSignedIn(ILoginPage& page, const wchar_t* account, int status) {
  return OnSignedInWith(page, account, status, &ReadAccount, CAvatarText::Instance());
}

void OnSignedOutWith(ILoginPage& page, CAvatarText& avatar) {
  try {
    ClearLoginCookies(page);
    avatar.Clear();
    if (page.HasBrowser()) page.RunScript(kSignedOutScript);
  } catch (...) {
    // Out of memory: nothing more to undo.
  }
}

void OnSignedOut(ILoginPage& page) { OnSignedOutWith(page, CAvatarText::Instance()); }

}  // namespace velmora
