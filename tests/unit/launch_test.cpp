#include "platform/launch.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "platform/core_libraries.h"
#include "platform/module_path.h"
#include "platform/module_signature.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "tests/support/child_processes.h"
#include "tests/support/redirection_watch.h"

namespace velmora {
namespace {

// The trust service the tests control: class 1 for files in the allowed set, -1 (unknown) for
// those in the unknown set, 3 otherwise, no answer for files named "*.silent".
std::set<std::wstring>& Allowed() {
  static std::set<std::wstring> allowed;
  return allowed;
}
std::set<std::wstring>& Unknown() {
  static std::set<std::wstring> unknown;
  return unknown;
}
std::optional<int> FakeTrustService(const std::wstring& path) {
  if (path.size() > 7 && path.compare(path.size() - 7, 7, L".silent") == 0) return std::nullopt;
  if (Unknown().count(AsciiLower(path))) return -1;
  return Allowed().count(AsciiLower(path)) ? 1 : 3;
}

std::wstring SystemFile(const wchar_t* name) { return SystemFolderFile(name); }

std::wstring TestFolder() { return ParentFolder(GetModulePath(nullptr)); }

std::wstring ReadText(const std::wstring& path) {
  std::ifstream in(WideToUtf8(path).c_str());
  std::stringstream text;
  text << in.rdbuf();
  return Utf8ToWide(text.str());
}

// Waits (a bounded time) for a child to write `path`.
bool WaitForFile(const std::wstring& path) {
  for (int i = 0; i < 200; ++i) {
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES && !ReadText(path).empty()) return true;
    ::Sleep(50);
  }
  return false;
}

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTrustVerifiers(&VerifyModuleSignature, &FakeTrustService);
    // The file a 32-bit process opens for the system folder's cmd.exe is its 32-bit twin, and
    // the native one is reached through the alias: each is judged by the name it is opened by.
    Allowed() = {AsciiLower(cmd_), AsciiLower(test::OpenedSystemFile(L"cmd.exe")),
                 AsciiLower(test::NativeSystemFile(L"cmd.exe"))};
    out_ = TestFolder() + FormatW(L"\\launch-%lu.txt", ::GetCurrentProcessId());
    ::DeleteFileW(out_.c_str());
  }
  void TearDown() override { ::DeleteFileW(out_.c_str()); }
  // Nothing started since `before`: no new child is running and none wrote the output file.
  void ExpectNothingStarted(const std::set<DWORD>& before) const {
    EXPECT_TRUE(test::ChildrenStartedSince(before).empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(out_.c_str()));
  }
  // Parameters for cmd.exe that write `word` into the output file.
  std::wstring Echo(const wchar_t* word) const { return FormatW(L"/c echo %s> \"%s\"", word, out_.c_str()); }

  std::wstring cmd_ = SystemFile(L"cmd.exe");
  std::wstring out_;
};

TEST_F(LaunchTest, TrustedFilesStartWithTheirParameters) {
  ASSERT_TRUE(LaunchFile(cmd_, Echo(L"file")));
  ASSERT_TRUE(WaitForFile(out_));
  EXPECT_NE(std::wstring::npos, ReadText(out_).find(L"file"));
  ::DeleteFileW(out_.c_str());

  ASSERT_TRUE(LaunchCommand(cmd_, Echo(L"command")));
  ASSERT_TRUE(WaitForFile(out_));
  EXPECT_NE(std::wstring::npos, ReadText(out_).find(L"command"));
  ::DeleteFileW(out_.c_str());

  EXPECT_GT(reinterpret_cast<INT_PTR>(ShellOpenFile(cmd_, Echo(L"shell"), SW_HIDE)), 32);
  ASSERT_TRUE(WaitForFile(out_));
  EXPECT_NE(std::wstring::npos, ReadText(out_).find(L"shell"));
}

// What starts is the file that was held and judged: the native cmd.exe through the alias, not the
// 32-bit twin that the system folder's name would start in a 32-bit process.
TEST_F(LaunchTest, AProgramOfTheNativeSystemFolderStartsAsItself) {
  const std::wstring native = test::NativeSystemFile(L"cmd.exe");
  const std::wstring architecture = Echo(L"%PROCESSOR_ARCHITECTURE%");
  const struct {
    const char* way;
    bool (*start)(const std::wstring&, const std::wstring&);
  } ways[] = {{"LaunchFile", &LaunchFile},
              {"LaunchCommand", &LaunchCommand},
              {"ShellOpenFile", [](const std::wstring& path, const std::wstring& parameters) {
                 return reinterpret_cast<INT_PTR>(ShellOpenFile(path, parameters, SW_HIDE)) > 32;
               }}};
  for (const auto& way : ways) {
    ASSERT_TRUE(way.start(native, architecture)) << way.way;
    ASSERT_TRUE(WaitForFile(out_)) << way.way;
    EXPECT_EQ(ReadText(out_).substr(0, 5), L"AMD64") << way.way;
    ::DeleteFileW(out_.c_str());
  }
}

TEST_F(LaunchTest, UntrustedRelativeAndMissingFilesAreNeverStarted) {
  const std::wstring refused = SystemFile(L"notepad.exe");  // exists, class 3
  const std::wstring silent = cmd_ + L".silent";            // the service does not answer
  const auto before = test::RunningChildren();
  for (const std::wstring& path : {refused, silent, std::wstring(L"cmd.exe"), std::wstring(L"..\\cmd.exe"),
                                   cmd_ + L".missing", std::wstring()}) {
    EXPECT_FALSE(LaunchFile(path, Echo(L"x"))) << path;
    EXPECT_FALSE(LaunchCommand(path, Echo(L"x"))) << path;
    EXPECT_EQ(nullptr, ShellOpenFile(path, Echo(L"x"), SW_HIDE)) << path;
  }
  ExpectNothingStarted(before);
}

TEST_F(LaunchTest, TheCanonicalLocalFileIsCheckedAndStarted) {
  // Another spelling of the allowed file is the same file; a raw or share spelling is refused.
  std::wstring slashed = cmd_;
  for (wchar_t& c : slashed) {
    if (c == L'\\') c = L'/';
  }
  const size_t file = slashed.rfind(L'/'), folder = slashed.rfind(L'/', file - 1);
  const std::wstring climbing = slashed.substr(0, file) + L"/.." + slashed.substr(folder);  // .../system32/../system32/cmd.exe
  ASSERT_TRUE(LaunchFile(climbing, Echo(L"canonical"))) << climbing;
  ASSERT_TRUE(WaitForFile(out_));
  ::DeleteFileW(out_.c_str());
  const auto before = test::RunningChildren();
  for (const std::wstring& path : {L"\\\\?\\" + cmd_, L"\\\\.\\" + cmd_}) {
    EXPECT_FALSE(LaunchFile(path, Echo(L"x"))) << path;
    EXPECT_EQ(nullptr, ShellOpenFile(path, Echo(L"x"), SW_HIDE)) << path;
  }
  ExpectNothingStarted(before);
}

TEST_F(LaunchTest, AFileOfUnknownTrustMayBeLoadedButNotStarted) {
  Allowed().clear();
  Unknown() = {AsciiLower(cmd_)};
  const auto before = test::RunningChildren();
  EXPECT_TRUE(IsTrustedFile(cmd_));
  EXPECT_FALSE(LaunchFile(cmd_, Echo(L"x")));
  EXPECT_FALSE(LaunchCommand(cmd_, Echo(L"x")));
  EXPECT_EQ(nullptr, ShellOpenFile(cmd_, Echo(L"x"), SW_HIDE));
  Unknown().clear();
  ExpectNothingStarted(before);
}

// Wine's Safer functions succeed but hand out a placeholder token that CreateProcessAsUserW
// refuses, so here only the failure path can be observed: it answers false, without throwing and
// without touching the caller's process information.
TEST_F(LaunchTest, NormalUserLaunchFailuresAnswerFalse) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  EXPECT_FALSE(LaunchAsNormalUser(L"\"C:\\no\\such\\program.exe\"", &startup, &info));
  EXPECT_EQ(nullptr, info.hProcess);
  EXPECT_FALSE(LaunchAsNormalUser(L"", &startup, &info));
}

TEST_F(LaunchTest, DesktopUserLaunchNeedsFileAndParameters) {
  EXPECT_FALSE(LaunchAsDesktopUser(cmd_, L""));
  EXPECT_FALSE(LaunchAsDesktopUser(L"", Echo(L"x")));
}

// HostKit.dll is found through the SVuq.ini beside the test programs, which names the signed
// stand-in of the suite layout.
TEST_F(LaunchTest, DesktopUserLaunchGoesThroughHostKitUpToTheLimit) {
  const std::wstring log = TestFolder() + FormatW(L"\\hostkit-%lu.log", ::GetCurrentProcessId());
  ::DeleteFileW(log.c_str());
  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", log.c_str());
  ASSERT_TRUE(BindHostKitTable());

  auto padded = [this](size_t length) {
    std::wstring parameters = Echo(L"desktop");
    parameters.append(length - parameters.size(), L' ');
    return parameters;
  };
  ASSERT_TRUE(LaunchAsDesktopUser(cmd_, padded(kDesktopLaunchParametersLimit)));
  ASSERT_TRUE(WaitForFile(out_));
  EXPECT_NE(std::wstring::npos, ReadText(log).find(L"shell-execute"));
  ::DeleteFileW(out_.c_str());
  ::DeleteFileW(log.c_str());

  // One character more: HostKit is skipped and the normal-user token is asked instead (which
  // cannot start anything under Wine, whose Safer token is a placeholder).
  const std::wstring too_long = padded(kDesktopLaunchParametersLimit + 1);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const bool normal_user_works = LaunchAsNormalUser(L"\"" + cmd_ + L"\" " + too_long, &startup, &info);
  if (normal_user_works) {
    ::WaitForSingleObject(info.hProcess, 30000);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    ::DeleteFileW(out_.c_str());
  }
  EXPECT_EQ(normal_user_works, LaunchAsDesktopUser(cmd_, too_long));
  EXPECT_EQ(std::wstring::npos, ReadText(log).find(L"shell-execute"));
  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", nullptr);
  ::DeleteFileW(log.c_str());
}

TEST_F(LaunchTest, MakersBrowserIsFoundThroughItsTwoRegistryPlaces) {
  constexpr wchar_t kClientState[] =
      L"Software\\Vuq\\Ravida6\\Update\\ClientState\\{02E720BD-2B50-4404-947C-65DBE64F6970}";
  // Lay out <root>\Application\Ravida.exe with the uninstaller three folders below it.
  const std::wstring root = TestFolder() + FormatW(L"\\browser-%lu", ::GetCurrentProcessId());
  const std::wstring installer = root + L"\\Application\\1.0\\Installer";
  ::SHCreateDirectoryExW(nullptr, installer.c_str(), nullptr);
  const std::wstring browser = root + L"\\Application\\Ravida.exe";
  ::CloseHandle(::CreateFileW(browser.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));

  EXPECT_EQ(L"", FindMakersBrowser());
  const std::wstring setup = installer + L"\\setup.exe";
  ::SHSetValueW(HKEY_CURRENT_USER, kClientState, L"UninstallString", REG_SZ, setup.c_str(),
                static_cast<DWORD>((setup.size() + 1) * sizeof(wchar_t)));
  EXPECT_TRUE(EqualsIgnoreAsciiCase(browser, FindMakersBrowser())) << FindMakersBrowser();

  // The browser file gone: not found, whatever the registry says.
  ::DeleteFileW(browser.c_str());
  EXPECT_EQ(L"", FindMakersBrowser());
  ::SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Vuq\\Ravida6");
  ::SHCreateDirectoryExW(nullptr, root.c_str(), nullptr);
  ::RemoveDirectoryW(installer.c_str());
  ::RemoveDirectoryW((root + L"\\Application\\1.0").c_str());
  ::RemoveDirectoryW((root + L"\\Application").c_str());
  ::RemoveDirectoryW(root.c_str());
}

// The child of a contained process ends with it; without the job it would outlive it.
void SpawnSleeperAndExit(const std::wstring& pid_file, bool contain) {
  if (contain) {
    ContainProcess();
    ContainProcess();  // a second call changes nothing
  }
  std::wstring command = L"\"" + TestFolder() + L"\\sleeper.exe\" 60";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    std::exit(2);
  }
  std::ofstream(WideToUtf8(pid_file).c_str()) << info.dwProcessId;
  std::exit(0);
}

bool SleeperEndsWithin(const std::wstring& pid_file, DWORD timeout_ms) {
  const DWORD pid = static_cast<DWORD>(std::stoul(WideToUtf8(ReadText(pid_file))));
  HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  if (!process) return true;  // already gone
  const bool ended = ::WaitForSingleObject(process, timeout_ms) == WAIT_OBJECT_0;
  if (!ended) ::TerminateProcess(process, 0);
  ::CloseHandle(process);
  return ended;
}

TEST(ContainProcessDeathTest, ChildrenDieWithTheContainedProcess) {
  // A fixed name: the death test's child runs this test body again, as a process of its own.
  const std::wstring pid_file = TestFolder() + L"\\contained-sleeper.pid";
  EXPECT_EXIT(SpawnSleeperAndExit(pid_file, /*contain=*/true), ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(SleeperEndsWithin(pid_file, 20000));

  EXPECT_EXIT(SpawnSleeperAndExit(pid_file, /*contain=*/false), ::testing::ExitedWithCode(0), "");
  EXPECT_FALSE(SleeperEndsWithin(pid_file, 2000)) << "the sleeper should outlive an uncontained parent";
  ::DeleteFileW(pid_file.c_str());
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// HostKit's settings object, bound the same way (SVuq.ini beside the tests).
TEST(MessageCenterSetting, ReadsWhatTheSuiteStored) {
  constexpr wchar_t kKey[] = L"Software\\VelmoraStandins\\MessageCenter";
  SetTrustVerifiers(&VerifyModuleSignature, nullptr);
  ::SHDeleteKeyW(HKEY_CURRENT_USER, kKey);
  EXPECT_EQ(std::optional<DWORD>(0), QueryMessageCenterSetting(kSideBarQuietSetting));

  const DWORD quiet = 1;
  ::SHSetValueW(HKEY_CURRENT_USER, kKey, L"20002", REG_DWORD, &quiet, sizeof(quiet));
  EXPECT_EQ(std::optional<DWORD>(1), QueryMessageCenterSetting(kSideBarQuietSetting));
  // Another setting of the same group is a different value.
  EXPECT_EQ(std::optional<DWORD>(0), QueryMessageCenterSetting({21, 0x20003, 0}));
  // A failed query (the stand-in fails for a string value) and another group answer nothing.
  const wchar_t fail[] = L"fail";
  ::SHSetValueW(HKEY_CURRENT_USER, kKey, L"20002", REG_SZ, fail, sizeof(fail));
  EXPECT_EQ(std::nullopt, QueryMessageCenterSetting(kSideBarQuietSetting));
  EXPECT_EQ(std::nullopt, QueryMessageCenterSetting({22, 0x20003, 0}));
  ::SHDeleteKeyW(HKEY_CURRENT_USER, kKey);
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

TEST(WebAddress, OnlyHttpAndHttpsWithAHostAndNothingThatLeavesTheQuotes) {
  const struct {
    const wchar_t* url;
    bool web;
  } cases[] = {
      {L"https://a.test/", true},
      {L"HTTP://a.test", true},
      {L"https://user@a.test:8080/p?q=1#f", true},
      {L"http://[::1]/", true},
      {L"", false},
      {L"file:///C:/Windows/win.ini", false},
      {L"C:\\Windows\\notepad.exe", false},
      {L"\\\\server\\share\\x.exe", false},
      {L"javascript:alert(1)", false},
      {L"ms-settings:", false},
      {L"https:/a.test", false},
      {L"https://", false},
      {L"https:///path", false},
      {L"https://@/", false},
      {L"https://:80/", false},
      {L"httpsx://a.test", false},
      {L" https://a.test", false},
      {L"https://a.test/ --gpu-launcher=calc", false},
      {L"https://a.test/\"--x", false},
      {L"https://a.test/\tx", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsWebAddress(c.url), c.web) << c.url;
}

}  // namespace
}  // namespace velmora
