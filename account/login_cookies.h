// The signed-in account's login cookies (Q, T, S) and how they reach the page's browser.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

class ILoginPage;

struct LoginCookies {
  std::wstring q, t, s;
};

// The values of "Q=", "T=" and "S=" in a cookie text of "key=value;" pairs. A key counts only at
// the start of a pair (blanks before it skipped), never inside another pair's value; the first
// pair of a key wins; a value runs to the next ";" or the end of the text; a missing key gives
// an empty value. Pure.
LoginCookies ParseLoginCookies(std::wstring_view cookie_text);

// Sets Q, T, S for kLoginPageOrigin, then Q, T, S for kLoginCookieDomain, each with the cookie
// domain kLoginCookieDomain and the value in UTF-8. Clearing sets the same six with empty values.
void PushLoginCookies(ILoginPage& page, const LoginCookies& cookies);
void ClearLoginCookies(ILoginPage& page);

}  // namespace velmora
