#include "providers/tool_launcher.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "config/app_config.h"
#include "platform/launch.h"
#include "platform/module_path.h"
#include "platform/module_signature.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "providers/system_info.h"
#include "tests/e2e/child_process.h"
#include "tests/support/child_processes.h"
#include "tests/support/redirection_watch.h"
#include "tests/support/registry_backup.h"
#include "tests/support/signature_trust.h"

namespace velmora {
namespace {

using test::LogEntry;
using test::ScopedRegistryBackup;
using test::ScopedTempFolder;

constexpr wchar_t kUninstall[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

void SetString(HKEY root, const std::wstring& subkey, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), ERROR_SUCCESS);
  if (name) {
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  ::RegCloseKey(key);
}

void SetCounter(const wchar_t* name, DWORD count) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kToolCountersKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof(count));
  ::RegCloseKey(key);
}

TEST(ToolLauncherText, DesktopSearchParametersFollowItsVersion) {
  const struct {
    const wchar_t* version;
    const wchar_t* parameters;
  } cases[] = {{L"1.0.0.1409", L"/quickfind_start"}, {L"1.0.0.1410", L"/only_root_search"},
               {L"1.0.0.1411", L"/only_root_search"}, {L"1.0.1.0", L"/only_root_search"},
               {L"0.0.0.0", L"/quickfind_start"},    {L"", L"/quickfind_start"}};
  for (const auto& c : cases) EXPECT_EQ(DesktopSearchParameters(c.version), c.parameters) << c.version;
  EXPECT_EQ(ScreenCaptureParameters(L"C:\\t\\VuqSC1.tmp"),
            L"-file \"C:\\t\\VuqSC1.tmp\" -format \"jpg\" -savetip \"\u590D\u5236\u5230\u526A\u5207\u677F\" "
            L"-launcher desktop_lite_vip -cef Vuqdeskl");
}

TEST(ToolLauncherText, KeyTextsThatCouldLeaveTheUninstallKeyAreRefused) {
  const struct {
    std::wstring text;
    std::optional<std::pair<std::wstring, std::wstring>> parsed;
  } cases[] = {
      {L"{A}", std::make_pair(L"{A}", L"")},
      {L"{A}||InstallLocation", std::make_pair(L"{A}", L"InstallLocation")},
      {L"{A}||", std::make_pair(L"{A}", L"")},
      {L"||{A}", std::make_pair(L"{A}", L"")},
      {L"||", std::nullopt},
      {L"||||", std::nullopt},
      {L"{A}||B||C", std::nullopt},
      {L"..\\Run", std::nullopt},
      {L"\\{A}", std::nullopt},
      {L"{A}/x", std::nullopt},
      {L"..", std::nullopt},
      {L".", std::nullopt},
      {std::wstring(L"{A}\0..\\x", 8), std::nullopt},
      {std::wstring(L"{A}||Install\0x", 14), std::nullopt},
      {std::wstring(255, L'k'), std::make_pair(std::wstring(255, L'k'), L"")},
      {std::wstring(256, L'k'), std::nullopt},
  };
  for (const auto& c : cases) {
    const std::optional<InstalledKey> parsed = ParseInstalledKey(c.text);
    ASSERT_EQ(parsed.has_value(), c.parsed.has_value()) << WideToUtf8(c.text);
    if (parsed) {
      EXPECT_EQ(parsed->key_name, c.parsed->first);
      EXPECT_EQ(parsed->value_name, c.parsed->second);
    }
  }
  const BYTE empty[1] = {}, terminated[] = {'C', 0, 0, 0}, open[] = {'C', 0, 'D', 0}, odd[] = {'C', 0, 0};
  EXPECT_TRUE(IsTerminatedRegistryString(empty, 0));
  EXPECT_TRUE(IsTerminatedRegistryString(terminated, 4));
  EXPECT_FALSE(IsTerminatedRegistryString(open, 4));
  EXPECT_FALSE(IsTerminatedRegistryString(odd, 3));
}

class ToolLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTrustVerifiers(&VerifyModuleSignature, &test::TrustClassBySignature);
    ASSERT_FALSE(temp_.path().empty());
    suite_ = temp_.path() + L"\\suite";
    log_ = temp_.path() + L"\\standins.log";
    tmp_ = temp_.path() + L"\\tmp";
    for (const std::wstring& folder : {suite_, suite_ + L"\\Utils", suite_ + L"\\AppMgr", suite_ + L"\\AppMgr\\QuickFind", tmp_}) {
      ::CreateDirectoryW(folder.c_str(), nullptr);
    }
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", log_.c_str());
    ::SetEnvironmentVariableW(L"TMP", tmp_.c_str());
    ::SetEnvironmentVariableW(L"TEMP", tmp_.c_str());
  }
  void TearDown() override {
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", nullptr);
    ::SetEnvironmentVariableW(L"TMP", saved_tmp_.c_str());
    ::SetEnvironmentVariableW(L"TEMP", saved_tmp_.c_str());
  }

  static std::wstring Built(const std::wstring& relative) {
    return ParentFolder(ParentFolder(GetModulePath(nullptr))) + L"\\" + relative;
  }
  void Place(const std::wstring& built, const wchar_t* relative) {
    ASSERT_TRUE(::CopyFileW(Built(built).c_str(), (suite_ + L"\\" + relative).c_str(), FALSE)) << relative;
  }
  // The tools' log lines once `count` of them are there (bounded wait), or what is there.
  std::vector<LogEntry> WaitForLog(size_t count) {
    std::vector<LogEntry> log;
    for (int i = 0; i < 200; ++i) {
      log = test::ReadLog(log_);
      if (log.size() >= count) break;
      ::Sleep(50);
    }
    return log;
  }
  std::vector<std::wstring> TempFiles() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((tmp_ + L"\\Vuq*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
  }

  std::wstring saved_tmp_ = [] {
    wchar_t value[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"TMP", value, MAX_PATH);
    return std::wstring(value);
  }();
  ScopedTempFolder temp_;
  std::wstring suite_, log_, tmp_;
  bool windows10_ = false;
  CToolLauncher launcher_{[this] { return suite_; }, [this] { return windows10_; }};
};

TEST_F(ToolLauncherTest, DesktopSearchStartsWithTheParametersOfItsVersionOrThroughTheUpdater) {
  const std::wstring search = suite_ + L"\\AppMgr\\QuickFind\\QuickFind.exe";
  const struct {
    const wchar_t* search_build;  // null: no desktop search
    bool updater;
    std::string started;  // empty: nothing starts
  } cases[] = {
      {L"standin-variants\\QuickFind-1.0.0.1409\\QuickFind.exe", true, "quickfind|\"" + WideToUtf8(search) + "\" /quickfind_start"},
      {L"suite\\AppMgr\\QuickFind\\QuickFind.exe", true, "quickfind|\"" + WideToUtf8(search) + "\" /only_root_search"},
      {nullptr, true,
       "modupdater|\"" + WideToUtf8(suite_) +
           "\\Utils\\ModUpdater.exe\" /updateid=VuqQuickFind /sectionid=VuqQuickFind /execarg=\"/only_root_search\""},
      {nullptr, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.started);
    ::DeleteFileW(log_.c_str());
    // A tool the last case started may still be ending: its file goes once it has.
    for (const std::wstring& tool : {search, suite_ + L"\\Utils\\ModUpdater.exe"}) {
      for (int i = 0; i < 200 && !::DeleteFileW(tool.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND; ++i) {
        ::Sleep(50);
      }
    }
    if (c.search_build) Place(c.search_build, L"AppMgr\\QuickFind\\QuickFind.exe");
    if (c.updater) Place(L"suite\\Utils\\ModUpdater.exe", L"Utils\\ModUpdater.exe");
    const auto before = test::RunningChildren();
    launcher_.LaunchDesktopSearch();
    if (c.started.empty()) {
      EXPECT_TRUE(test::ChildrenStartedSince(before).empty());
      EXPECT_TRUE(test::ReadLog(log_).empty());
      continue;
    }
    const auto log = WaitForLog(1);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].component + "|" + log[0].text.substr(log[0].text.find(' ') + 1), c.started);
  }
}

TEST_F(ToolLauncherTest, ScreenCaptureGetsANewCaptureFileOnlyWhenTheToolStarts) {
  launcher_.LaunchScreenCapture();  // no tool: no file either
  EXPECT_TRUE(TempFiles().empty());

  // A tool that fails the trust check is not started, and its capture file is not left behind.
  ASSERT_TRUE(::CopyFileW((ParentFolder(GetModulePath(nullptr)) + L"\\version_probe.exe").c_str(),
                          (suite_ + L"\\Utils\\SnapTool.exe").c_str(), FALSE));
  launcher_.LaunchScreenCapture();
  EXPECT_TRUE(TempFiles().empty());

  Place(L"suite\\Utils\\SnapTool.exe", L"Utils\\SnapTool.exe");
  ASSERT_TRUE(IsLaunchableFile(suite_ + L"\\Utils\\SnapTool.exe"));
  launcher_.LaunchScreenCapture();
  const auto log = WaitForLog(1);
  const auto files = TempFiles();
  ASSERT_EQ(files.size(), 1u) << (log.empty() ? "" : log[0].text);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].component, "snaptool");
  EXPECT_EQ(Utf8ToWide(log[0].text), L"started \"" + suite_ + L"\\Utils\\SnapTool.exe\" " +
                                         ScreenCaptureParameters(tmp_ + L"\\" + files[0]));
}

TEST_F(ToolLauncherTest, FeedbackToolGetsThePagesCommandLine) {
  launcher_.LaunchFeedback(L"--from sidebar");  // not there: nothing
  Place(L"suite\\Utils\\FeedbackTool.exe", L"Utils\\FeedbackTool.exe");
  launcher_.LaunchFeedback(L"--from sidebar \"quoted text\"");
  const auto log = WaitForLog(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].component, "feedbacktool");
  EXPECT_NE(log[0].text.find(" --from sidebar \"quoted text\""), std::string::npos) << log[0].text;
}

TEST_F(ToolLauncherTest, StickyNotesAreLookedForByTheWindowsVersionsWay) {
  ScopedRegistryBackup package(HKEY_CURRENT_USER, L"Software\\Classes\\Extensions\\ContractId\\Windows.Launch\\PackageId");
  EXPECT_FALSE(launcher_.IsStickyNoteAvailable());  // Wine has no StikyNot.exe
  launcher_.LaunchStickyNote();
  windows10_ = true;
  EXPECT_FALSE(launcher_.IsStickyNoteAvailable());
  SetString(HKEY_CURRENT_USER, L"Software\\Classes\\Extensions\\ContractId\\Windows.Launch\\PackageId\\Other_1.0", nullptr, L"");
  EXPECT_FALSE(launcher_.IsStickyNoteAvailable());
  SetString(HKEY_CURRENT_USER,
            L"Software\\Classes\\Extensions\\ContractId\\Windows.Launch\\PackageId\\"
            L"microsoft.microsoftstickynotes_4.0.0.0_x64__8wekyb3d8bbwe",
            nullptr, L"");
  EXPECT_TRUE(launcher_.IsStickyNoteAvailable());
  EXPECT_TRUE(test::ReadLog(log_).empty());  // the earlier way found no program to open
}

TEST_F(ToolLauncherTest, InstalledSoftwareIsFoundByItsUninstallEntry) {
  ScopedRegistryBackup user_uninstall(HKEY_CURRENT_USER, kUninstall);
  ScopedRegistryBackup outside(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\VelmoraOutside");
  const std::wstring key = std::wstring(kUninstall) + L"\\{VelmoraTest}";
  SetString(HKEY_CURRENT_USER, key, L"Here", temp_.path());
  SetString(HKEY_CURRENT_USER, key, L"Gone", temp_.path() + L"\\missing");
  SetString(HKEY_CURRENT_USER, key, L"Unix", L"Z:\\tmp");
  SetString(HKEY_CURRENT_USER, key, L"Relative", L"tmp");
  SetString(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\VelmoraOutside", L"Here", temp_.path());
  HKEY raw = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, &raw), ERROR_SUCCESS);
  // Three characters of four: Wine would add the terminator were the next one a NUL.
  const wchar_t unterminated[] = L"C:\\X";
  ::RegSetValueExW(raw, L"Open", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated), 3 * sizeof(wchar_t));
  const DWORD number = 1;
  ::RegSetValueExW(raw, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
  ::RegCloseKey(raw);

  const struct {
    std::wstring text;
    bool installed;
  } cases[] = {
      {L"{VelmoraTest}", true},
      {L"{velmoratest}", true},
      {L"{VelmoraTest}||Here", true},
      {L"{VelmoraTest}||Gone", false},
      {L"{VelmoraTest}||Unix", false},      // not a local hard disk
      {L"{VelmoraTest}||Relative", false},
      {L"{VelmoraTest}||Open", false},      // not terminated
      {L"{VelmoraTest}||Number", false},
      {L"{VelmoraTest}||Missing", false},
      {L"{NoSuchEntry}", false},
      {L"..\\VelmoraOutside", false},
      {L"..\\VelmoraOutside||Here", false},
      {L"..||Here", false},
      {L"\\{VelmoraTest}", false},
      {L"||", false},
      {L"{VelmoraTest}||Here||x", false},
      {std::wstring(L"{VelmoraTest}\0..\\VelmoraOutside", 31), false},
      {std::wstring(300, L'k'), false},
  };
  for (const auto& c : cases) EXPECT_EQ(launcher_.IsInstalled(c.text), c.installed) << WideToUtf8(c.text);
}

// The calculator, the sticky notes before Windows 10 and a path an uninstall entry names are the
// native system folder's: a 32-bit side bar reaches them there (which only the alias names for
// it), and starts them with file-system redirection left on for the shell's own libraries.
TEST_F(ToolLauncherTest, SystemFolderProgramsAreTheNativeOnes) {
  ScopedRegistryBackup user_uninstall(HKEY_CURRENT_USER, kUninstall);
  const std::wstring probe = ParentFolder(GetModulePath(nullptr)) + L"\\version_probe.exe";
  const test::ScopedNativeSystemFile sticky(probe, L"StikyNot.exe"), calculator(probe, L"calc.exe");
  ASSERT_TRUE(sticky.ok() && calculator.ok());
  SetString(HKEY_CURRENT_USER, std::wstring(kUninstall) + L"\\{VelmoraNative}", L"Path",
            SystemFolderFile(L"StikyNot.exe"));
  EXPECT_TRUE(launcher_.IsInstalled(L"{VelmoraNative}||Path"));
  EXPECT_TRUE(launcher_.IsStickyNoteAvailable());
  ::SetEnvironmentVariableW(L"VELMORA_HOSTKIT_RECORD_ONLY", L"1");
  launcher_.LaunchStickyNote();
  launcher_.LaunchCalculator();
  ::SetEnvironmentVariableW(L"VELMORA_HOSTKIT_RECORD_ONLY", nullptr);
  const auto log = WaitForLog(2);
  ASSERT_EQ(log.size(), 2u) << (log.empty() ? "" : log[0].text);
  const wchar_t* programs[] = {L"StikyNot.exe", L"calc.exe"};
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(log[i].component + " " + log[i].text,
              "hostkit shell-execute verb=open file=" + WideToUtf8(test::NativeSystemFile(programs[i])) +
                  " params=(null) show=5");
  }
}

// An uninstall entry of either registry view of HKEY_LOCAL_MACHINE is found by the shipped 32-bit
// program; a 64-bit one sees no 32-bit view and does not look there.
TEST_F(ToolLauncherTest, UninstallEntriesOfBothRegistryViewsAreFound) {
  const struct {
    const wchar_t* key;
    REGSAM view;
    bool found;
  } cases[] = {{L"{VelmoraView64}", KEY_WOW64_64KEY, true},
               {L"{VelmoraView32}", KEY_WOW64_32KEY, test::IsWow64Process()}};
  for (const auto& c : cases) {
    const std::wstring key = std::wstring(kUninstall) + L"\\" + c.key;
    ScopedRegistryBackup view64(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY);
    ScopedRegistryBackup view32(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_32KEY, 0);
    HKEY created = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | c.view, nullptr,
                                &created, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(created);
    EXPECT_EQ(launcher_.IsInstalled(c.key), c.found) << WideToUtf8(c.key);
  }
}

TEST_F(ToolLauncherTest, LocalTopListsToolsByCountKeepingTheOrderOfEqualCounts) {
  ScopedRegistryBackup settings(HKEY_CURRENT_USER, kSettingsKey);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kToolCountersKey);
  EXPECT_EQ(launcher_.GetLocalTop(), "{\"code\":0,\"data\":[],\"msg\":\"\"}\n");
  SetCounter(L"first", 3);
  SetCounter(L"second", 5);
  SetCounter(L"third", 3);
  SetString(HKEY_CURRENT_USER, kToolCountersKey, L"text", L"12");  // not a counter
  EXPECT_EQ(launcher_.GetLocalTop(), "{\"code\":0,\"data\":[\"second\",\"first\",\"third\"],\"msg\":\"\"}\n");

  for (int i = 0; i < 3; ++i) launcher_.RecordToolUse(L"third");
  launcher_.RecordToolUse(L"\u5DE5\u5177");
  EXPECT_EQ(launcher_.GetLocalTop(),
            "{\"code\":0,\"data\":[\"third\",\"second\",\"first\",\"\\u5de5\\u5177\"],\"msg\":\"\"}\n");
}

TEST_F(ToolLauncherTest, OddToolIdsWriteAtMostOneCounterUnderTheirKey) {
  ScopedRegistryBackup settings(HKEY_CURRENT_USER, kSettingsKey);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  auto values_under = [](const wchar_t* subkey) {
    HKEY key = nullptr;
    DWORD values = 0, subkeys = 0;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::make_pair(0ul, 0ul);
    ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                       nullptr);
    ::RegCloseKey(key);
    return std::make_pair(static_cast<unsigned long>(values), static_cast<unsigned long>(subkeys));
  };
  const std::wstring ids[] = {std::wstring(20000, L'x'), L"..\\..\\Run", L"\\", std::wstring(L"a\0b", 3)};
  unsigned long expected = 0;
  for (const std::wstring& id : ids) {
    launcher_.RecordToolUse(id);
    const auto counters = values_under(kToolCountersKey);
    EXPECT_LE(counters.first, ++expected) << WideToUtf8(id.substr(0, 20));
    expected = counters.first;
    EXPECT_EQ(counters.second, 0ul);
    EXPECT_EQ(values_under(kSettingsKey).first, 0ul);  // at most the AITools key itself
    EXPECT_LE(values_under(kSettingsKey).second, 1ul);
  }
  EXPECT_EQ(values_under(kToolCountersKey).first, 3ul);  // all but the over-long one
}

// The Windows 10 ways, in a copy of this test program that Wine tells it runs on Windows 10
// (its per-program version setting): the copy runs the Windows10.* tests with VELMORA_WINDOWS10
// set, the normal run only starts it and reads its result.
namespace {

constexpr wchar_t kWindows10Copy[] = L"providers_tests_win10.exe";

bool InWindows10Copy() { return ::GetEnvironmentVariableW(L"VELMORA_WINDOWS10", nullptr, 0) != 0; }

}  // namespace

TEST(Windows10, TheCopyOnWindows10PassesItsTests) {
  if (InWindows10Copy()) GTEST_SKIP() << "this is the copy";
  const std::wstring folder = ParentFolder(GetModulePath(nullptr));
  const std::wstring copy = folder + L"\\" + kWindows10Copy;
  ASSERT_TRUE(::CopyFileW(GetModulePath(nullptr).c_str(), copy.c_str(), FALSE));
  const std::wstring settings = std::wstring(L"Software\\Wine\\AppDefaults\\") + kWindows10Copy;
  ScopedRegistryBackup version(HKEY_CURRENT_USER, settings);
  SetString(HKEY_CURRENT_USER, settings, L"Version", L"win10");
  const test::ChildResult result =
      test::RunChild(copy, L"--gtest_filter=Windows10.*", 120 * 1000, {{L"VELMORA_WINDOWS10", L"1"}});
  ::DeleteFileW(copy.c_str());
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u) << "the Windows 10 copy failed; run it by hand for its output";
}

TEST(Windows10, VersionCarriesTheBuildAndStickyNotesAreAPackage) {
  if (!InWindows10Copy()) GTEST_SKIP() << "runs in the Windows 10 copy";
  ASSERT_TRUE(IsWindows10OrLater());
  const std::wstring version = WindowsVersionText();
  EXPECT_EQ(version.rfind(L"10.0.", 0), 0u) << WideToUtf8(version);
  EXPECT_GT(version.size(), 5u);
  EXPECT_EQ(version.find(L'.', 5), std::wstring::npos);  // three numbers

  SetTrustVerifiers(&VerifyModuleSignature, &test::TrustClassBySignature);
  ScopedTempFolder temp;
  const std::wstring log = temp.path() + L"\\standins.log";
  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", log.c_str());
  ScopedRegistryBackup package(HKEY_CURRENT_USER, L"SOFTWARE\\Classes\\ActivatableClasses\\Package");
  CToolLauncher launcher([] { return std::wstring(); }, &IsWindows10OrLater);
  EXPECT_FALSE(launcher.IsStickyNoteAvailable());
  SetString(HKEY_CURRENT_USER,
            L"SOFTWARE\\Classes\\ActivatableClasses\\Package\\Microsoft.MicrosoftStickyNotes_3.8.8.0_x64__8wekyb3d8bbwe",
            nullptr, L"");
  EXPECT_TRUE(launcher.IsStickyNoteAvailable());
  // Sticky notes open as the package's shell target, through HostKit's plain open.
  launcher.LaunchStickyNote();
  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", nullptr);
  EXPECT_EQ(test::Count(test::ReadLog(log), "hostkit",
                        "shell-execute verb=open file=shell:appsFolder\\Microsoft.MicrosoftStickyNotes_8wekyb3d8bbwe!App "
                        "params=(null) show=5"),
            1u);
}

}  // namespace
}  // namespace velmora
