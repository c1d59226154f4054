#include "account/login_cookies.h"

#include "account/login_page.h"
#include "platform/build_constants.h"
#include "platform/text.h"

namespace velmora {

LoginCookies ParseLoginCookies(std::wstring_view cookie_text) {
  LoginCookies cookies;
  bool seen_q = false, seen_t = false, seen_s = false;
  size_t at = 0;
  while (at < cookie_text.size()) {
    size_t end = cookie_text.find(L';', at);
    if (end == std::wstring_view::npos) end = cookie_text.size();
    std::wstring_view pair = cookie_text.substr(at, end - at);
    while (!pair.empty() && (pair.front() == L' ' || pair.front() == L'\t')) pair.remove_prefix(1);
    if (pair.size() >= 2 && pair[1] == L'=') {
      const std::wstring_view value = pair.substr(2);
      if (pair[0] == L'Q' && !seen_q) {
        cookies.q = value;
        seen_q = true;
      } else if (pair[0] == L'T' && !seen_t) {
        cookies.t = value;
        seen_t = true;
      } else if (pair[0] == L'S' && !seen_s) {
        cookies.s = value;
        seen_s = true;
      }
    }
    at = end + 1;
  }
  return cookies;
}

void PushLoginCookies(ILoginPage& page, const LoginCookies& cookies) {
  const std::string q = WideToUtf8(cookies.q), t = WideToUtf8(cookies.t), s = WideToUtf8(cookies.s);
  for (const wchar_t* target : {kLoginPageOrigin, kLoginCookieDomain}) {
    page.SetCookie(target, L"Q", q, kLoginCookieDomain);
    page.SetCookie(target, L"T", t, kLoginCookieDomain);
    page.SetCookie(target, L"S", s, kLoginCookieDomain);
  }
}

void ClearLoginCookies(ILoginPage& page) { PushLoginCookies(page, LoginCookies{}); }

}  // namespace velmora
