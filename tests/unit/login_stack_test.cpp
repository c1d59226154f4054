// The account code against the stand-in login stack, copied into a suite folder of each test's own.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "account/account_reader.h"
#include "account/login_callback.h"
#include "account/login_helper.h"
#include "account/login_helper_ex.h"
#include "account/login_library.h"
#include "account/share_store.h"
#include "platform/build_constants.h"
#include "platform/module_path.h"
#include "platform/module_signature.h"
#include "platform/scoped_handle.h"
#include "platform/system_functions.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "tests/e2e/child_process.h"
#include "tests/support/message_box.h"
#include "tests/support/file_tree.h"
#include "tests/support/signature_trust.h"

namespace velmora {
namespace {

using SignInFn = void(WINAPI*)(const wchar_t* fields, const wchar_t* account, int status);
using SignOutFn = void(WINAPI*)();

using test::BuiltSuiteFile;
using test::TestProgramFile;

// Texts of the stand-in log lines of `component`, in order.
std::vector<std::string> Calls(const std::wstring& log, const std::string& component) {
  std::vector<std::string> texts;
  for (const auto& entry : test::ReadLog(log)) {
    if (entry.component == component) texts.push_back(entry.text);
  }
  return texts;
}

struct SinkCall {
  bool signed_in;
  std::wstring account;
  int status;
};

// Records the notifications; counts any that arrive after the window said it was gone.
class RecordingSink final : public ILoginCallBack {
 public:
  void OnSignedIn(const wchar_t* /*product*/, const wchar_t* account, int status) override {
    if (gone) ++late;
    calls.push_back({true, account ? account : L"", status});
  }
  void OnSignedOut() override {
    if (gone) ++late;
    calls.push_back({false, L"", 0});
  }
  std::vector<SinkCall> calls;
  std::atomic<bool> gone{false};
  std::atomic<int> late{0};
};

class LoginStackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(::CreateDirectoryW((suite_ + L"\\Utils").c_str(), nullptr));
    for (const wchar_t* file : {L"SignOn.dll", L"VerProbe.dll", L"Utils\\SignOnMgr.dll", L"Utils\\AcctClient.dll",
                                L"Utils\\ShareStore.dll"}) {
      Install(file, file);
    }
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", log_.c_str());
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_ACCOUNT", (suite_ + L"\\account.txt").c_str());
    SetTrustVerifiers(&VerifyModuleSignature, &velmora::test::TrustClassBySignature);
  }
  void TearDown() override {
    if (sign_out_) sign_out_();
    control_.reset();
    SetTrustVerifiers(nullptr, nullptr);
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", nullptr);
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_ACCOUNT", nullptr);
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_BETA", nullptr);
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_SIGNON_FAIL", nullptr);
  }

  // Copies the built stand-in `built` (relative to the build's suite folder) to `target` in ours.
  void Install(const std::wstring& built, const std::wstring& target) {
    const std::wstring from = BuiltSuiteFile(built);
    ASSERT_TRUE(::CopyFileW(from.c_str(), (suite_ + L"\\" + target).c_str(), FALSE)) << from;
  }
  // The stand-in client library's controls, from the same module the program loads.
  void BindControls() {
    control_.reset(::LoadLibraryW((suite_ + L"\\Utils\\AcctClient.dll").c_str()));
    ASSERT_TRUE(control_);
    sign_in_ = GetProcAddressAs<SignInFn>(control_.get(), "StandinSignIn");
    sign_out_ = GetProcAddressAs<SignOutFn>(control_.get(), "StandinSignOut");
    ASSERT_TRUE(sign_in_ && sign_out_);
  }

  const test::TempFolder folder_{L"VelmoraLogin"};
  const std::wstring suite_ = folder_.path();
  const std::wstring log_ = folder_ / L"standin.log";
  ScopedLibrary control_;
  SignInFn sign_in_ = nullptr;
  SignOutFn sign_out_ = nullptr;
};

TEST_F(LoginStackTest, LoginModuleIsBoundWithItsKeysAndTheCallbackAnswers) {
  CLoginHelper helper;
  ASSERT_TRUE(helper.EnsureInitialized(suite_));
  EXPECT_TRUE(helper.EnsureInitialized(suite_));  // once bound, nothing is done again
  EXPECT_EQ(Calls(log_, "signon"), (std::vector<std::string>{
      "get module", "module initialize", "module property 20 bstr:k4r2t9w1:8", "login initialize", "login attach 1",
      "login callback 1 0", "event 43 answered 0x1960001", "login caller Vuqsystem_repair p3xe7ks52:9",
      "login property 10 i4:10", "login property 2 ui4:255"}));

  EXPECT_EQ(helper.OnAccountEvent(43, 0, nullptr), 0);
  EXPECT_EQ(helper.OnAccountEvent(44, 1, nullptr), 0);
  EXPECT_EQ(helper.OnAccountEvent(0, 1, L"x"), 0);

  const LoginAccountReport report = {L"ann", L"42", L"\u5f20", nullptr, L"C:\\a.png"};
  EXPECT_EQ(helper.OnAccountEvent(2, reinterpret_cast<WPARAM>(&report), nullptr), 0);
  EXPECT_EQ(helper.OnAccountEvent(1, 0, nullptr), 0);  // no report: the last one stays
  const LoginAccountTexts account = helper.LastAccount();
  EXPECT_EQ(account.account, L"ann");
  EXPECT_EQ(account.nick_name, L"\u5f20");
  EXPECT_EQ(account.email, L"");
  EXPECT_EQ(account.head_image, L"C:\\a.png");

  EXPECT_EQ(helper.OnAccountEvent(38, 0, L"not a text event"), 0);
  EXPECT_EQ(::WaitForSingleObject(helper.NotificationEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(helper.OnAccountEvent(42, 0, L"hello"), 0);
  EXPECT_EQ(helper.LastNotificationText(), L"hello");
  EXPECT_EQ(::WaitForSingleObject(helper.NotificationEvent(), 0), WAIT_OBJECT_0);
}

TEST_F(LoginStackTest, LoginModuleIsTriedAgainUntilItBinds) {
  CLoginHelper helper;
  ASSERT_TRUE(::DeleteFileW((suite_ + L"\\SignOn.dll").c_str()));
  EXPECT_FALSE(helper.EnsureInitialized(suite_));  // missing: quietly unbound
  EXPECT_FALSE(helper.EnsureInitialized(L""));
  EXPECT_EQ(helper.LookupCookieText(L"a", 1), std::nullopt);

  Install(L"SignOn.dll", L"SignOn.dll");
  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_SIGNON_FAIL", L"1");
  EXPECT_FALSE(helper.EnsureInitialized(suite_));
  // A module that failed is released and its library unloaded, so the file can be replaced.
  EXPECT_TRUE(::DeleteFileW((suite_ + L"\\SignOn.dll").c_str()));
  Install(L"SignOn.dll", L"SignOn.dll");
  EXPECT_EQ(Calls(log_, "signon"), (std::vector<std::string>{"get module", "module initialize"}));

  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_SIGNON_FAIL", nullptr);
  EXPECT_TRUE(helper.EnsureInitialized(suite_));
  EXPECT_TRUE(helper.IsInitialized());
}

TEST_F(LoginStackTest, AccountFieldsComeFromTheStoreCutAtTheBufferAndCookiesFromTheModule) {
  BindControls();
  const std::wstring nick = L"\u5f20\u4e09\U0001F600" + std::wstring(4095 - 4, L'n');  // 4095 UTF-16 units
  const std::wstring qid(5000, L'7');
  sign_in_((L"real_email=ann@example\naccount_type=2\nnike_name=" + nick + L"\nqid=" + qid +
            L"\nhead_image=C:\\img.png\naccount_kind=5\ncookie=Q=q1;T=t1;S=s1;\n").c_str(),
           L"ann", 0);

  CShareStore store;
  ASSERT_TRUE(store.Open(suite_));
  CLoginHelper helper;
  ASSERT_TRUE(helper.EnsureInitialized(suite_));
  const AccountInfo info = ReadAccountFrom(store, helper);
  EXPECT_EQ(info.email, L"ann@example");
  EXPECT_EQ(info.account_type, 2u);
  EXPECT_EQ(info.nick_name, nick);
  EXPECT_EQ(info.qid, qid.substr(0, kAccountTextChars));
  EXPECT_EQ(info.head_image, L"C:\\img.png");
  EXPECT_EQ(info.cookie_text, L"Q=q1;T=t1;S=s1;");  // kind 5: through the extension interface
  EXPECT_EQ(store.ReadText(L"no_such_field"), L"");
  EXPECT_EQ(store.ReadNumber(L"no_such_field"), 0u);

  // Another account type is another account: no cookies, the fields still read.
  sign_in_(L"real_email=ann@example\naccount_type=x\nnike_name=Ann\n", L"ann", 0);
  const AccountInfo other = ReadAccountFrom(store, helper);
  EXPECT_EQ(other.account_type, 0u);
  EXPECT_EQ(other.nick_name, L"Ann");
  EXPECT_EQ(other.cookie_text, L"");
}

TEST_F(LoginStackTest, RefusedOrMissingLibrariesLeaveEverythingEmptyAndQuiet) {
  Install(L"Utils\\ShareStore_unsigned.dll", L"Utils\\ShareStore.dll");
  Install(L"Utils\\AcctClient_unsigned.dll", L"Utils\\AcctClient.dll");
  ASSERT_TRUE(::DeleteFileW((suite_ + L"\\Utils\\SignOnMgr.dll").c_str()));
  CShareStore store;
  EXPECT_FALSE(store.Open(suite_));
  EXPECT_EQ(store.ReadText(L"nike_name"), L"");
  CLoginHelper unbound;
  const AccountInfo info = ReadAccountFrom(store, unbound);
  EXPECT_EQ(info.nick_name, L"");
  EXPECT_EQ(info.cookie_text, L"");

  RecordingSink sink;
  CLoginHelperEx helper;
  helper.SetUp(&sink, suite_);
  EXPECT_FALSE(helper.HasManager());
  EXPECT_FALSE(helper.HasClient());
  EXPECT_FALSE(helper.ShowLoginDialog(nullptr));
  helper.TearDown();
  EXPECT_TRUE(Calls(log_, "acctclient").empty());
  EXPECT_TRUE(Calls(log_, "sharestore").empty());
}

TEST_F(LoginStackTest, HelperExForwardsSignInAndOutUntilTornDown) {
  BindControls();
  RecordingSink sink;
  CLoginHelperEx helper;
  helper.SetUp(&sink, suite_);
  ASSERT_TRUE(helper.HasManager());
  ASSERT_TRUE(helper.HasClient());
  EXPECT_EQ(Calls(log_, "signonmgr"), (std::vector<std::string>{"create 0 0", "initialize safe"}));
  EXPECT_EQ(Calls(log_, "acctclient"), (std::vector<std::string>{"create safe 0", "start 3", "listener 1"}));

  EXPECT_FALSE(IsSignedIn());
  sign_in_(L"nike_name=Ann\n", L"ann@example", 0);
  EXPECT_TRUE(IsSignedIn());
  sign_in_(L"nike_name=Ann\n", L"ann@example", -2);
  sign_out_();
  EXPECT_FALSE(IsSignedIn());
  ASSERT_EQ(sink.calls.size(), 3u);
  EXPECT_TRUE(sink.calls[0].signed_in);
  EXPECT_EQ(sink.calls[0].account, L"ann@example");
  EXPECT_EQ(sink.calls[1].status, -2);
  EXPECT_FALSE(sink.calls[2].signed_in);

  EXPECT_TRUE(helper.ShowLoginDialog(::GetDesktopWindow()));
  EXPECT_EQ(Calls(log_, "signonmgr").back(), "dialog safe owner=1 mode=4 0");

  helper.TearDown();
  EXPECT_EQ(Calls(log_, "acctclient").back(), "release");
  EXPECT_EQ(Calls(log_, "signonmgr").back(), "release safe");
  sign_in_(L"", L"ann@example", 0);
  // A stack that is slow to stop and still calls the listener reaches no sink either.
  helper.OnLogin(L"safe", L"ann@example", 0, nullptr);
  helper.OnLogout(L"safe", L"ann@example", 0);
  EXPECT_EQ(sink.calls.size(), 3u);
  EXPECT_FALSE(helper.ShowLoginDialog(nullptr));
}

TEST_F(LoginStackTest, NotificationsOnAnotherThreadNeverReachATornDownWindow) {
  BindControls();
  std::atomic<bool> stop{false};
  std::thread stack([&] {
    while (!stop) {
      sign_in_(L"nike_name=Ann\n", L"ann@example", 0);
      sign_out_();
    }
  });
  int late = 0;
  for (int round = 0; round < 40; ++round) {
    auto sink = std::make_unique<RecordingSink>();
    auto helper = std::make_unique<CLoginHelperEx>();
    helper->SetUp(sink.get(), suite_);
    // Besides the stand-in's own thread, one that keeps calling the listener through tear-down,
    // as a stack that is slow to stop would.
    std::atomic<bool> stop_late{false};
    std::thread late_caller([&] {
      while (!stop_late) helper->OnLogin(L"safe", L"ann@example", 0, nullptr);
    });
    ::Sleep(1);
    helper->TearDown();
    sink->gone = true;
    ::Sleep(1);
    stop_late = true;
    late_caller.join();
    helper.reset();
    ::Sleep(1);
    late += sink->late;
    sink.reset();  // a notification reaching it now would touch freed memory
  }
  stop = true;
  stack.join();
  EXPECT_EQ(late, 0);
}

TEST_F(LoginStackTest, InstallerAddressFollowsTheSuitesVersionProbe) {
  EXPECT_EQ(InstallerAddress(false), std::wstring(L"https://") + kInstallerDownloadHost + L"/setup.exe");
  EXPECT_EQ(InstallerAddress(true), std::wstring(L"https://") + kInstallerDownloadHost + L"/setupbeta.exe");
  EXPECT_FALSE(IsBetaSuite(suite_));
  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_BETA", L"1");
  EXPECT_TRUE(IsBetaSuite(suite_));
  EXPECT_FALSE(IsBetaSuite(L""));
  Install(L"VerProbe_unsigned.dll", L"VerProbe.dll");
  EXPECT_FALSE(IsBetaSuite(suite_));
  EXPECT_EQ(Calls(log_, "verprobe"), (std::vector<std::string>{"is beta 0", "is beta 1"}));
}

TEST_F(LoginStackTest, DamagedSignOnShowsThePromptAndEndsWithZero) {
  const std::wstring probe = TestProgramFile(L"login_probe.exe");
  // Untouched, missing: the probe reports bound or not bound, without any prompt.
  EXPECT_EQ(test::RunChild(probe, L"\"" + suite_ + L"\"", 60000).exit_code, 10u);
  Install(L"SignOn_unsigned.dll", L"SignOn.dll");
  ASSERT_TRUE(::DeleteFileW(log_.c_str()));

  test::ChildResult result;
  // The child's process id is known only once it started; the box must be that process's.
  std::atomic<DWORD> child_id{0};
  std::thread child([&] {
    ScopedHandle process(test::StartChild(probe, L"\"" + suite_ + L"\""));
    if (!process) return;
    child_id = ::GetProcessId(process.get());
    result.started = true;
    result.finished = ::WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0;
    if (!result.finished) ::TerminateProcess(process.get(), 1);
    ::GetExitCodeProcess(process.get(), &result.exit_code);
  });
  const HWND box = test::WaitForMessageBox([&] { return child_id.load(); }, L"VuqTrevalis", 30000);
  std::wstring text;
  int icons = 0;
  if (box) {
    text = test::MessageBoxText(box, &icons);
    EXPECT_TRUE(::GetDlgItem(box, IDYES) && ::GetDlgItem(box, IDNO));
    EXPECT_FALSE(::GetDlgItem(box, IDOK));
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, IDNO)));
  }
  child.join();
  ASSERT_TRUE(box) << "no prompt";
  EXPECT_EQ(icons, 1);
  EXPECT_EQ(text, L"发现VuqTrevalis的文件已被破坏，不是原版文件。\n请重新安装VuqTrevalis并进行木马扫描。\n\n被破坏的文件：" +
                      suite_ + L"\\SignOn.dll\n\n是否立即下载最新版？  ");
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_TRUE(Calls(log_, "signon").empty());  // the damaged library was never loaded

  ASSERT_TRUE(::DeleteFileW((suite_ + L"\\SignOn.dll").c_str()));
  EXPECT_EQ(test::RunChild(probe, L"\"" + suite_ + L"\"", 60000).exit_code, 11u);
}

// The prompt's message loop runs this thread's timers and messages; one that reads the account
// again must come back (not wait for the read that is showing the prompt), and no second prompt
// appears.
TEST_F(LoginStackTest, ADamagedManagerPromptLetsNestedReadsReturn) {
  Install(L"Utils\\SignOnMgr_unsigned.dll", L"Utils\\SignOnMgr.dll");
  const std::wstring probe = TestProgramFile(L"login_probe.exe");
  const std::wstring marker = suite_ + L"\\nested_read_returned";
  test::ScopedSuiteRegistration registration(suite_, test::RegistryViewOf(probe));
  ScopedHandle process(test::StartChild(probe, L"\"" + suite_ + L"\" reenter \"" + marker + L"\""));
  ASSERT_TRUE(process);
  const DWORD id = ::GetProcessId(process.get());
  const HWND box = test::WaitForMessageBox([id] { return id; }, L"VuqTrevalis", 30000);
  ASSERT_TRUE(box) << "no prompt";
  bool returned = false;
  for (int i = 0; i < 100 && !returned; ++i, ::Sleep(100)) returned = IsExistingFile(marker);
  EXPECT_TRUE(returned) << "the nested read did not come back";
  EXPECT_EQ(::FindWindowExW(nullptr, box, L"#32770", L"VuqTrevalis"), nullptr) << "a second prompt";
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, IDNO)));
  ASSERT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  ::GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace velmora
