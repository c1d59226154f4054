#include "companions/word_pick.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/base64.h"
#include "platform/module_path.h"
#include "platform/module_signature.h"
#include "platform/path_text.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "tests/e2e/child_process.h"
#include "tests/support/signature_trust.h"

namespace velmora {
namespace {

constexpr char kRequest[] = "{\"src\":\"Velmora\",\"type\":\"ShowTranslateiso\",\"uInitialTabId\":3}\n";

TEST(WordPickText, TheRequestIsBase64WithoutPadding) {
  static_assert((sizeof(kRequest) - 1) % 3 != 0, "a request whose encoding needs no padding proves nothing");
  const std::string encoded = WordPickRequest();
  EXPECT_EQ(encoded.find('='), std::string::npos);
  EXPECT_EQ(encoded.find('\n'), std::string::npos);
  std::string padded = encoded;
  while (padded.size() % 4) padded += '=';
  EXPECT_EQ(Base64Decode(padded).value_or(""), kRequest);
  EXPECT_EQ(WordPickArguments(), L"--ProxyCall --data=" + Utf8ToWide(encoded));
}

class WordPickTest : public ::testing::Test {
 protected:
  enum Build { kNone, kOld, kCurrent };

  void SetUp() override {
    SetTrustVerifiers(&VerifyModuleSignature, &test::TrustClassBySignature);
    ASSERT_FALSE(temp_.path().empty());
    for (const wchar_t* folder :
         {L"\\Vuqsafe", L"\\Vuqsafe\\WordPick", L"\\suite", L"\\suite\\running", L"\\elsewhere"}) {
      ::CreateDirectoryW((temp_.path() + folder).c_str(), nullptr);
    }
    log_ = temp_.path() + L"\\standins.log";
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", log_.c_str());
  }
  void TearDown() override {
    StopRunning();
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", nullptr);
  }

  static std::wstring BuildOf(Build build) {
    const std::wstring built = ParentFolder(ParentFolder(GetModulePath(nullptr))) + L"\\standin-variants\\";
    return built + (build == kOld ? L"WordPick-14.0.0.1129" : L"WordPick-14.0.0.1130") + L"\\WordPick.exe";
  }
  void Place(Build build, const std::wstring& path) {
    ::DeleteFileW(path.c_str());
    if (build == kNone) return;
    ASSERT_TRUE(::CopyFileW(BuildOf(build).c_str(), path.c_str(), FALSE));
  }
  // Starts `build` as the running copy (at `path`) and waits for its window.
  void StartRunning(Build build, const std::wstring& path) {
    if (build == kNone) return;
    Place(build, path);
    running_process_ = test::StartChild(path, L"--serve 60");
    ASSERT_NE(running_process_, nullptr);
    for (int i = 0; i < 400 && !::FindWindowW(kWordPickWindowClass, nullptr); ++i) ::Sleep(50);
    ASSERT_NE(::FindWindowW(kWordPickWindowClass, nullptr), nullptr);
  }
  void StopRunning() {
    if (!running_process_) return;
    ::TerminateProcess(running_process_, 0);
    ::WaitForSingleObject(running_process_, 10000);
    ::CloseHandle(running_process_);
    running_process_ = nullptr;
  }
  std::vector<test::LogEntry> WaitForRequest() {
    std::vector<test::LogEntry> log;
    for (int i = 0; i < 400; ++i) {
      log = test::ReadLog(log_);
      if (test::Count(log, "wordpick", "request ") > 0) break;
      ::Sleep(50);
    }
    return log;
  }

  test::ScopedTempFolder temp_;
  std::wstring log_;
  std::wstring installed_ = temp_.path() + L"\\Vuqsafe\\WordPick\\WordPick.exe";
  std::wstring suite_ = temp_.path() + L"\\suite";
  std::wstring running_ = suite_ + L"\\running\\WordPick.exe";
  HANDLE running_process_ = nullptr;
};

TEST_F(WordPickTest, ARecentRunningCopyWinsAndAnOldOneLosesToARecentInstalledCopy) {
  const struct {
    Build running, installed;
    const wchar_t* chosen;  // "running", "installed" or null: nothing qualifies
  } cases[] = {
      {kNone, kNone, nullptr},           {kOld, kCurrent, L"installed"}, {kCurrent, kCurrent, L"running"},
      {kCurrent, kNone, L"running"},     {kOld, kOld, nullptr},          {kNone, kCurrent, L"installed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "running " << c.running << ", installed " << c.installed);
    StopRunning();
    Place(c.installed, installed_);
    StartRunning(c.running, running_);
    CGetWordMgr manager(installed_, suite_);
    ::DeleteFileW(log_.c_str());
    EXPECT_EQ(manager.Resolve(), c.chosen != nullptr);
    const std::wstring expected = !c.chosen ? L"" : std::wstring(c.chosen) == L"running" ? running_ : installed_;
    EXPECT_TRUE(EqualsIgnoreAsciiCase(manager.executable(), expected)) << WideToUtf8(manager.executable());

    manager.StartTranslate();
    if (!c.chosen) continue;
    const auto log = WaitForRequest();
    ASSERT_EQ(test::Count(log, "wordpick", std::string("request ") + std::string(kRequest, sizeof(kRequest) - 2)), 1u);
    EXPECT_EQ(test::Count(log, "wordpick", "--ProxyCall --data=" + WordPickRequest()), 1u);
  }
}

// Any process may own a window of the running copy's class: a copy elsewhere than the default
// place and the suite folder is not started, however recent.
TEST_F(WordPickTest, ARunningCopyOutsideTheSuiteFolderIsIgnored) {
  const std::wstring elsewhere = temp_.path() + L"\\elsewhere\\WordPick.exe";
  for (const bool installed : {false, true}) {
    SCOPED_TRACE(installed);
    StopRunning();
    Place(installed ? kCurrent : kNone, installed_);
    StartRunning(kCurrent, elsewhere);
    CGetWordMgr manager(installed_, suite_);
    EXPECT_EQ(manager.Resolve(), installed);
    EXPECT_EQ(manager.executable(), installed ? installed_ : L"");
  }
}

}  // namespace
}  // namespace velmora
