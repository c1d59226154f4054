#include "account/login_cookies.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/build_constants.h"
#include "tests/support/login_page_recorder.h"

namespace velmora {
namespace {

using test::LoginPageRecorder;
using test::RecordedCookie;

TEST(ParseLoginCookies, ValuesOfQTAndSAtPairStarts) {
  const struct {
    const wchar_t* text;
    const wchar_t* q;
    const wchar_t* t;
    const wchar_t* s;
  } cases[] = {
      {L"Q=u%3Dq;T=s%3Dt;S=abc;", L"u%3Dq", L"s%3Dt", L"abc"},
      {L"S=3;T=2;Q=1;", L"1", L"2", L"3"},                   // any order
      {L"Q=1;T=2;", L"1", L"2", L""},                        // no S
      {L"Q=1;T=2;S=", L"1", L"2", L""},                      // S empty at the end
      {L"Q=no-semicolon-at-all", L"no-semicolon-at-all", L"", L""},
      {L"Q=1;T=2;S=last", L"1", L"2", L"last"},              // last value without ";"
      {L"Q=first;Q=second;T=2;T=3;", L"first", L"2", L""},   // the first of a duplicate wins
      {L"T=abcS=x;Q=1;", L"1", L"abcS=x", L""},              // "S=" inside a value is no key
      {L"XQ=1;QQ=2;q=3;T=4;", L"", L"4", L""},               // only the exact key counts
      {L"Q=1; T=2;\tS=3;", L"1", L"2", L"3"},                // blanks after ";"
      {L"Q==;T=a=b;", L"=", L"a=b", L""},
      {L"", L"", L"", L""},
      {L";;;=;Q", L"", L"", L""},
  };
  for (const auto& c : cases) {
    const LoginCookies cookies = ParseLoginCookies(c.text);
    EXPECT_EQ(cookies.q, c.q) << c.text;
    EXPECT_EQ(cookies.t, c.t) << c.text;
    EXPECT_EQ(cookies.s, c.s) << c.text;
  }
}

TEST(ParseLoginCookies, LongTextsAreKeptWhole) {
  const std::wstring q(5000, L'a'), t(4095, L'b');
  const LoginCookies cookies = ParseLoginCookies(L"Q=" + q + L";T=" + t);
  EXPECT_EQ(cookies.q, q);
  EXPECT_EQ(cookies.t, t);
  EXPECT_EQ(cookies.s, L"");
}

TEST(LoginCookies, SixCookiesInOrderAndClearedWithEmptyValues) {
  LoginPageRecorder page;
  PushLoginCookies(page, {L"q\u00e9", L"t", L""});
  const std::wstring origin = kLoginPageOrigin, parent = kLoginCookieDomain;
  const std::vector<RecordedCookie> pushed = {
      {origin, L"Q", "q\xc3\xa9", parent}, {origin, L"T", "t", parent}, {origin, L"S", "", parent},
      {parent, L"Q", "q\xc3\xa9", parent}, {parent, L"T", "t", parent}, {parent, L"S", "", parent},
  };
  EXPECT_EQ(page.cookies(), pushed);
  EXPECT_TRUE(page.scripts().empty());

  page.Clear();
  ClearLoginCookies(page);
  const std::vector<RecordedCookie> cleared = {
      {origin, L"Q", "", parent}, {origin, L"T", "", parent}, {origin, L"S", "", parent},
      {parent, L"Q", "", parent}, {parent, L"T", "", parent}, {parent, L"S", "", parent},
  };
  EXPECT_EQ(page.cookies(), cleared);
  EXPECT_EQ(parent.front(), L'.');
  EXPECT_EQ(origin.rfind(L"https://", 0), 0u);
}

}  // namespace
}  // namespace velmora
