#include "account/login_status.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <memory>
#include <string>

#include "account/avatar_text.h"
#include "account/login_interfaces.h"
#include "platform/build_constants.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "tests/support/file_tree.h"
#include "tests/support/login_page_recorder.h"

namespace velmora {
namespace {

using test::LoginPageRecorder;

// Keeps the login stack's signed-in event open, as the stack does while someone is signed in.
ScopedHandle HoldSignedInEvent() {
  const std::wstring name = std::wstring(kSignedInEventPrefix) + kLoginProductKey;
  return ScopedHandle(::CreateEventW(nullptr, FALSE, FALSE, name.c_str()));
}

Json::Value Parse(const std::string& text) {
  Json::Value value;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << text;
  return value;
}

TEST(UserState, CompactSortedJsonWithTrailingLineFeed) {
  EXPECT_EQ(SignedInUserStateJson(L"Ann", L"42", "TQ"), "{\"avatar\":\"TQ\",\"logined\":1,\"nickName\":\"Ann\",\"qid\":\"42\"}\n");
  EXPECT_EQ(std::string(kSignedOutScript).size(), 90u);

  // UTF-16 nicknames arrive in UTF-8, whatever their letters; quotes and controls stay JSON.
  const std::wstring nick = L"\u5f20\u4e09 \"A\\B\"\n\U0001F600";
  const Json::Value state = Parse(SignedInUserStateJson(nick, std::wstring(4095, L'9'), ""));
  EXPECT_EQ(state["nickName"].asString(), WideToUtf8(nick));
  EXPECT_EQ(state["nickName"].asString(), "\xe5\xbc\xa0\xe4\xb8\x89 \"A\\B\"\n\xf0\x9f\x98\x80");
  EXPECT_EQ(state["qid"].asString(), std::string(4095, '9'));
  EXPECT_EQ(state.size(), 4u);
}

class LoginStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteImage("\x89PNG");
    account_.nick_name = L"Ann";
    account_.qid = L"42";
    account_.head_image = image_;
    account_.cookie_text = L"T=t1;Q=q1;";
  }
  void WriteImage(const std::string& bytes) { ASSERT_TRUE(test::WriteAll(image_, bytes)); }
  bool SignIn(const wchar_t* account, int status) {
    return OnSignedInWith(page_, account, status, [this] {
      ++reads_;
      return account_;
    }, avatar_);
  }

  LoginPageRecorder page_;
  CAvatarText avatar_;
  AccountInfo account_;
  const test::TempFolder folder_{L"VelmoraStatus"};
  const std::wstring image_ = folder_ / L"head.png";
  int reads_ = 0;
};

TEST_F(LoginStatusTest, SignInChangesNothingUnlessAllConditionsHold) {
  {
    const ScopedHandle signed_in = HoldSignedInEvent();
    ASSERT_TRUE(signed_in);
    EXPECT_FALSE(SignIn(nullptr, 0));
    EXPECT_FALSE(SignIn(L"", 0));
    EXPECT_FALSE(SignIn(L"ann@example", -1));
    page_.has_browser = false;
    EXPECT_FALSE(SignIn(L"ann@example", 0));
    page_.has_browser = true;
  }
  EXPECT_FALSE(IsSignedIn());
  EXPECT_FALSE(SignIn(L"ann@example", 0));  // the stack does not hold the event: nobody is signed in
  EXPECT_EQ(reads_, 0);
  EXPECT_TRUE(page_.cookies().empty());
  EXPECT_TRUE(page_.scripts().empty());
}

TEST_F(LoginStatusTest, SignInPushesCookiesThenSendsUserStateAndSignOutClearsBoth) {
  const ScopedHandle signed_in = HoldSignedInEvent();
  ASSERT_TRUE(IsSignedIn());
  ASSERT_TRUE(SignIn(L"ann@example", 0));
  const auto cookies = page_.cookies();
  ASSERT_EQ(cookies.size(), 6u);
  EXPECT_EQ(cookies[0].value, "q1");
  EXPECT_EQ(cookies[1].value, "t1");
  EXPECT_EQ(cookies[2].value, "");  // no "S=" in the cookie text
  EXPECT_EQ(cookies[5].target, kLoginCookieDomain);
  EXPECT_EQ(page_.scripts(), std::vector<std::string>{
      "_OnLoginStatusChangeCallback_listener({\"avatar\":\"iVBORw\",\"logined\":1,\"nickName\":\"Ann\",\"qid\":\"42\"}\n)"});

  // Kept for the next sign-in event even though the image changed meanwhile.
  WriteImage("Man");
  page_.Clear();
  ASSERT_TRUE(SignIn(L"ann@example", 1));
  EXPECT_NE(page_.scripts().at(0).find("\"avatar\":\"iVBORw\""), std::string::npos);

  page_.Clear();
  OnSignedOutWith(page_, avatar_);
  EXPECT_EQ(page_.scripts(), std::vector<std::string>{kSignedOutScript});
  ASSERT_EQ(page_.cookies().size(), 6u);
  for (const auto& cookie : page_.cookies()) EXPECT_EQ(cookie.value, "") << WideToUtf8(cookie.name);

  // After the sign-out the new image is read.
  page_.Clear();
  ASSERT_TRUE(SignIn(L"ann@example", 0));
  EXPECT_NE(page_.scripts().at(0).find("\"avatar\":\"TWFu\""), std::string::npos);
}

TEST_F(LoginStatusTest, SignOutWithoutBrowserClearsCookiesOnly) {
  page_.has_browser = false;
  OnSignedOutWith(page_, avatar_);
  EXPECT_EQ(page_.cookies().size(), 6u);
  EXPECT_TRUE(page_.scripts().empty());
}

TEST_F(LoginStatusTest, MissingAvatarAndUnreadableFieldsStillGiveAllFourKeys) {
  const ScopedHandle signed_in = HoldSignedInEvent();
  account_ = AccountInfo{};
  account_.head_image = image_ + L".missing";
  ASSERT_TRUE(SignIn(L"x", 0));
  EXPECT_EQ(page_.scripts().at(0),
            "_OnLoginStatusChangeCallback_listener({\"avatar\":\"\",\"logined\":1,\"nickName\":\"\",\"qid\":\"\"}\n)");
}

}  // namespace
}  // namespace velmora
