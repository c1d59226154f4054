#include "config/app_config.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "config/autostart.h"
#include "config/shortcut.h"
#include "config/time_rules.h"
#include "config/tool_counters.h"
#include "platform/module_path.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "tests/support/file_tree.h"
#include "tests/support/registry_backup.h"
#include "tests/support/registry_values.h"

namespace velmora {
namespace {

using test::ScopedRegistryBackup;

void WriteRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  ::SHSetValueW(HKEY_CURRENT_USER, kSettingsKey, name, type, data, size);
  SettingsKey().Forget();
}

TEST(ElapsedMinutes, HalfASecondRoundsAndTheRestTruncates) {
  const int64_t now = 1'800'000'000;
  const struct {
    int64_t seconds_ago;
    int64_t minutes;
  } cases[] = {
      {0, 0}, {59, 0}, {60, 1}, {119, 1}, {1440 * 60, 1440}, {1440 * 60 + 59, 1440}, {1441 * 60, 1441},
      {-60, -1},  // a time in the future counts backwards
      {-59, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.minutes, ElapsedMinutes(ToRegistryTime(now - c.seconds_ago), now)) << c.seconds_ago;
  }
  // 59.5 seconds plus the half second make a whole minute.
  EXPECT_EQ(1, ElapsedMinutes(ToRegistryTime(now), now + 60) );
}

TEST(PromotionGate, DueWhenNeverShownOrMoreThanADayAgo) {
  const int64_t now = 1'800'000'000;
  EXPECT_TRUE(IsPromotionDue(std::nullopt, now));
  EXPECT_TRUE(IsPromotionDue(0u, now));
  EXPECT_FALSE(IsPromotionDue(ToRegistryTime(now - 1440 * 60), now));
  EXPECT_TRUE(IsPromotionDue(ToRegistryTime(now - 1441 * 60), now));
  EXPECT_FALSE(IsPromotionDue(ToRegistryTime(now + 3600), now));  // a clock set back: not yet
}

class SettingsTest : public ::testing::Test {
 protected:
  ScopedRegistryBackup settings_{HKEY_CURRENT_USER, kSettingsKey};
  ScopedRegistryBackup run_{HKEY_CURRENT_USER, kAutoStartKey};
  void SetUp() override {
    ::SHDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
    SettingsKey().Forget();
  }
};

TEST_F(SettingsTest, MissingOrMalformedValuesTakeTheirDefaults) {
  CAppConfigMgr fresh;
  EXPECT_TRUE(fresh.IsSideBarOn());
  EXPECT_EQ(1, fresh.GetAutoHide());
  EXPECT_EQ(1, fresh.GetSceneRecommend());
  EXPECT_EQ(3, fresh.GetSceneInterval());

  const DWORD two = 2;
  WriteRaw(L"switch_flags", REG_DWORD, &two, sizeof(two));
  EXPECT_FALSE(fresh.IsSideBarOn());  // a plain on/off value: only 1 is on

  // Wrong type or size reads as absent (on), never as whatever bytes are there.
  const wchar_t text[] = L"0";
  WriteRaw(L"switch_flags", REG_SZ, text, sizeof(text));
  EXPECT_TRUE(fresh.IsSideBarOn());
  const ULONGLONG wide = 0;
  WriteRaw(L"switch_flags", REG_QWORD, &wide, sizeof(wide));
  EXPECT_TRUE(fresh.IsSideBarOn());
  WriteRaw(L"switch_flags", REG_DWORD, nullptr, 0);
  EXPECT_TRUE(fresh.IsSideBarOn());
  const BYTE eight[8] = {};
  WriteRaw(L"switch_flags", REG_DWORD, eight, sizeof(eight));
  EXPECT_TRUE(fresh.IsSideBarOn());
  EXPECT_EQ(std::nullopt, ReadSettingsDword(L"switch_flags"));
}

TEST_F(SettingsTest, PreferencesAreStoredAsGivenAndReadBackAtTheNextStart) {
  {
    CAppConfigMgr first;
    first.SetAutoHide(0);
    first.SetSceneRecommend(2);
    EXPECT_EQ(0, first.GetAutoHide());
    EXPECT_EQ(2, first.GetSceneRecommend());  // kept as given within the process
  }
  EXPECT_EQ(std::optional<DWORD>(2), ReadSettingsDword(L"sidebar_SceneRecommend"));
  CAppConfigMgr next;
  EXPECT_EQ(0, next.GetAutoHide());
  EXPECT_EQ(0, next.GetSceneRecommend());  // anything but 1 is off in the next process
}

TEST_F(SettingsTest, SceneSuffixesSplitAtEveryCommaAndAccumulateOnce) {
  CAppConfigMgr store;
  store.AddSceneSuffixes(L"Word,,Other");
  store.AddSceneSuffixes(L"THIRD,");
  store.AddSceneSuffixes(L"word,Other,third");  // the same list accepted again
  EXPECT_EQ((std::vector<std::wstring>{L"word", L"", L"other", L"third"}), store.GetSceneSuffixes());
}

TEST_F(SettingsTest, ToolCountersListByCountKeepingRegistryOrderForTies) {
  for (const wchar_t* tool : {L"calc", L"notes", L"notes", L"snap", L"search", L"search", L"notes"}) {
    IncrementToolCounter(tool);
  }
  // Values that are not 4 bytes long are not counters.
  const ULONGLONG big = 99;
  ::SHSetValueW(HKEY_CURRENT_USER, kToolCountersKey, L"wide", REG_QWORD, &big, sizeof(big));
  const wchar_t text[] = L"5";
  ::SHSetValueW(HKEY_CURRENT_USER, kToolCountersKey, L"text", REG_SZ, text, sizeof(text));
  // A counter that was garbage starts again from 0.
  IncrementToolCounter(L"text");

  const auto tools = ListToolsByCount();
  ASSERT_EQ(5u, tools.size());
  EXPECT_EQ(L"notes", tools[0]);
  EXPECT_EQ(L"search", tools[1]);
  // calc, snap and text all count 1: they keep the order the registry lists them in.
  std::vector<std::wstring> ones(tools.begin() + 2, tools.end());
  std::vector<std::wstring> enumerated;
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, kToolCountersKey, 0, KEY_READ, &key));
  for (DWORD i = 0;; ++i) {
    wchar_t name[64];
    DWORD chars = 64;
    if (::RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (std::find(ones.begin(), ones.end(), name) != ones.end()) enumerated.emplace_back(name);
  }
  ::RegCloseKey(key);
  EXPECT_EQ(enumerated, ones);

  // The key deleted under an open handle: the list ends at the first failure instead of trying
  // every index there is.
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, kToolCountersKey, 0, KEY_READ, &key));
  ::SHDeleteKeyW(HKEY_CURRENT_USER, kToolCountersKey);
  EXPECT_TRUE(ListToolsByCountIn(key).empty());
  ::RegCloseKey(key);
}

// The settings key (and its tool counters) closed to everyone by an empty access list: every
// setting reads as its default, writes go nowhere, and nothing fails louder than that.
TEST_F(SettingsTest, ADeniedSettingsKeyGivesTheDefaults) {
  const DWORD off = 0;
  WriteRaw(L"switch_flags", REG_DWORD, &off, sizeof(off));
  WriteRaw(L"sidebar_autohide", REG_DWORD, &off, sizeof(off));
  IncrementToolCounter(L"calc");
  SECURITY_DESCRIPTOR closed;
  ACL empty;
  ASSERT_TRUE(::InitializeSecurityDescriptor(&closed, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::InitializeAcl(&empty, sizeof(empty), ACL_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&closed, TRUE, &empty, FALSE));
  SECURITY_DESCRIPTOR open;
  ASSERT_TRUE(::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
  auto set_access = [](const wchar_t* path, SECURITY_DESCRIPTOR* descriptor) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, WRITE_DAC, &key) != ERROR_SUCCESS) return false;
    const bool set = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return set;
  };
  ASSERT_TRUE(set_access(kToolCountersKey, &closed));
  ASSERT_TRUE(set_access(kSettingsKey, &closed));
  HKEY probe = nullptr;
  const bool enforced = ::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &probe) == ERROR_ACCESS_DENIED;
  if (probe) ::RegCloseKey(probe);

  if (enforced) {
    CAppConfigMgr denied;
    EXPECT_TRUE(denied.IsSideBarOn());
    EXPECT_EQ(1, denied.GetAutoHide());
    denied.SetAutoHide(0);
    IncrementToolCounter(L"calc");
    EXPECT_TRUE(ListToolsByCount().empty());
    EXPECT_EQ(std::nullopt, ReadSettingsDword(L"switch_flags"));
  }
  // The owner may always open the access list again, so the backup can put the key back.
  EXPECT_TRUE(set_access(kSettingsKey, &open));
  EXPECT_TRUE(set_access(kToolCountersKey, &open));
  if (!enforced) GTEST_SKIP() << "this registry does not enforce access lists";
  EXPECT_EQ(std::optional<DWORD>(0), ReadSettingsDword(L"sidebar_autohide"));  // the denied write changed nothing
}

// The suite registered in a folder of the test's own, with a Utils\Velmora.exe in it.
class InstalledSuiteSettings : public SettingsTest {
 protected:
  void SetUpSuite(const wchar_t* name) {
    suite_ = folder_.emplace(name).path();
    test::CreateFolders(suite_ + L"\\Utils\\");
    ::CopyFileW(GetModulePath(nullptr).c_str(), (suite_ + L"\\Utils\\Velmora.exe").c_str(), FALSE);
    test::SetRegistryText(HKEY_LOCAL_MACHINE, kAppPaths, L"Path", suite_);
  }

  static constexpr wchar_t kAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Guardian.exe";
  ScopedRegistryBackup app_paths_{HKEY_LOCAL_MACHINE, kAppPaths};
  std::optional<test::TempFolder> folder_;
  std::wstring suite_;
};

// The autostart value as a program of the given registry view (KEY_WOW64_*KEY) reads it; 0: this
// program's own.
std::wstring ReadRunValue(REGSAM view = 0) {
  wchar_t value[600] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
  ScopedRegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kAutoStartKey, 0, KEY_QUERY_VALUE | view, key.receive()) != ERROR_SUCCESS ||
      ::RegQueryValueExW(key.get(), kAutoStartValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
          ERROR_SUCCESS) {
    return {};
  }
  return value;
}

TEST_F(InstalledSuiteSettings, EnableWritesTheSwitchAndTheRunValueDisableUndoesThem) {
  SetUpSuite(L"VelmoraSuiteTest");
  const std::wstring executable = suite_ + L"\\Utils\\Velmora.exe";
  EXPECT_EQ(executable, InstalledExecutable());
  EnableSideBar();
  EnableSideBar();
  EXPECT_EQ(std::optional<DWORD>(1), ReadSettingsDword(L"switch_flags"));
  EXPECT_EQ(executable + L" /start", ReadRunValue());  // no space: no quotes
  // The key is shared between the registry views: the 64-bit shell reads what the 32-bit side
  // bar wrote.
  EXPECT_EQ(executable + L" /start", ReadRunValue(KEY_WOW64_64KEY));
  EXPECT_TRUE(IsAutoStartRegistered());

  DisableSideBar();
  DisableSideBar();  // with the value already gone
  EXPECT_EQ(std::optional<DWORD>(0), ReadSettingsDword(L"switch_flags"));
  EXPECT_EQ(L"", ReadRunValue());
  EXPECT_FALSE(IsAutoStartRegistered());
}

// The user's own start-up choice (Task Manager's list) turns the registered value off; only the
// user's own newer choice clears it, never an install.
TEST_F(InstalledSuiteSettings, AStartUpMarkTurnedOffByTheUserIsHonoured) {
  SetUpSuite(L"VelmoraStartupMarkTest");
  ScopedRegistryBackup marks(HKEY_CURRENT_USER, kStartupApprovedKey);
  const auto mark = [](DWORD type, std::vector<BYTE> data) {
    test::SetRegistryValue(HKEY_CURRENT_USER, kStartupApprovedKey, kAutoStartValue, type, data.data(), data.size());
  };
  const auto binary = [](BYTE first) {  // the mark, then 8 bytes of a time
    std::vector<BYTE> data(12, 0x5A);
    data[0] = first;
    data[1] = data[2] = data[3] = 0;
    return data;
  };
  const struct {
    const char* what;
    DWORD type;
    std::vector<BYTE> data;  // empty: no mark
    bool registered;
  } cases[] = {
      {"no mark", REG_NONE, {}, true},
      {"on (2)", REG_BINARY, binary(2), true},
      {"on (6)", REG_BINARY, binary(6), true},
      {"off (3)", REG_BINARY, binary(3), false},
      {"off (7)", REG_BINARY, binary(7), false},
      {"off, but a number", REG_DWORD, {3, 0, 0, 0}, true},
      {"off, but 4 bytes", REG_BINARY, {3, 0, 0, 0}, true},
      {"off, but 13 bytes", REG_BINARY, [&] { auto d = binary(3); d.push_back(0); return d; }(), true},
  };
  for (const auto& c : cases) {
    DisableSideBar();
    ::SHDeleteValueW(HKEY_CURRENT_USER, kStartupApprovedKey, kAutoStartValue);
    if (!c.data.empty()) mark(c.type, c.data);
    StartupApprovedRunKey().Forget();
    EnableSideBar();  // as an install does
    EXPECT_EQ(IsAutoStartRegistered(), c.registered) << c.what;
    EnableSideBarByUser();  // the page's switch
    EXPECT_TRUE(IsAutoStartRegistered()) << c.what;
    BYTE kept[16] = {};
    DWORD size = sizeof(kept), type = REG_NONE;
    const bool has_mark = ::SHGetValueW(HKEY_CURRENT_USER, kStartupApprovedKey, kAutoStartValue, &type, kept, &size) ==
                          ERROR_SUCCESS;
    EXPECT_EQ(has_mark, !c.data.empty() && c.registered) << c.what << ": only a turned-off mark is cleared";
  }
}

TEST_F(InstalledSuiteSettings, RegisteredMeansTheInstalledPathOccursInTheRunValue) {
  SetUpSuite(L"Velmora Suite Long Folder Test");
  const std::wstring executable = suite_ + L"\\Utils\\Velmora.exe";
  EnableSideBar();
  EXPECT_EQ(L"\"" + executable + L"\" /start", ReadRunValue());  // spaces: quoted
  EXPECT_TRUE(IsAutoStartRegistered());

  auto set_run = [](const std::wstring& text) {
    test::SetRegistryText(HKEY_CURRENT_USER, kAutoStartKey, kAutoStartValue, text);
    AutoStartRunKey().Forget();
  };
  set_run(AsciiUpper(executable) + L" /start /extra");  // other case, more switches
  EXPECT_TRUE(IsAutoStartRegistered());
  wchar_t short_path[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetShortPathNameW(executable.c_str(), short_path, MAX_PATH));
  ASSERT_NE(executable, short_path);
  set_run(std::wstring(short_path) + L" /start");  // the same file by another name
  EXPECT_FALSE(IsAutoStartRegistered());
  set_run(L"");
  EXPECT_FALSE(IsAutoStartRegistered());
}

std::optional<int> TrustEverything(const std::wstring&) { return 1; }
std::optional<int> TrustNothing(const std::wstring&) { return 3; }

TEST_F(InstalledSuiteSettings, DesktopShortcutIsMadeOnlyForATrustedProgramAndNamesIt) {
  SetUpSuite(L"VelmoraShortcutTest");
  const std::wstring shortcut = DesktopDirectory() + L"\\" + kDesktopShortcutName;
  ASSERT_FALSE(DesktopDirectory().empty());
  ::SHCreateDirectoryExW(nullptr, DesktopDirectory().c_str(), nullptr);
  const bool existed = ::GetFileAttributesW(shortcut.c_str()) != INVALID_FILE_ATTRIBUTES;
  ASSERT_FALSE(existed) << "a real desktop shortcut is in the way";

  SetTrustVerifiers(nullptr, &TrustNothing);
  CreateDesktopShortcut();
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(shortcut.c_str()));
  EXPECT_FALSE(HasDesktopShortcut());

  SetTrustVerifiers(nullptr, &TrustEverything);
  CreateDesktopShortcut();
  EXPECT_TRUE(HasDesktopShortcut());
  std::wstring target, arguments;
  ASSERT_TRUE(ResolveShortcut(shortcut, &target, &arguments, 0x11 /* SLR_NO_UI | SLR_NOSEARCH */));
  EXPECT_EQ(L"/from=desktoplnk", arguments);

  // The right name, another target: not ours, and overwritten by the next creation.
  const std::wstring other = GetModulePath(nullptr);
  ASSERT_TRUE(CreateShortcut(DesktopDirectory(), kDesktopShortcutName, L"", other, L"", 0));
  EXPECT_FALSE(HasDesktopShortcut());
  CreateDesktopShortcut();
  EXPECT_TRUE(HasDesktopShortcut());

  DeleteDesktopShortcut();
  EXPECT_FALSE(HasDesktopShortcut());
  SetTrustVerifiers(nullptr, nullptr);
}

TEST(ResolveShortcut, FailuresLeaveTheOutputsAlone) {
  std::wstring target = L"untouched", arguments = L"untouched";
  EXPECT_FALSE(ResolveShortcut(L"C:\\no\\such.lnk", &target, &arguments, 0x11 /* SLR_NO_UI | SLR_NOSEARCH */));
  EXPECT_FALSE(ResolveShortcut(GetModulePath(nullptr), &target, nullptr, 0x11 /* SLR_NO_UI | SLR_NOSEARCH */));  // not a link
  EXPECT_EQ(L"untouched", target);
  EXPECT_EQ(L"untouched", arguments);
}

}  // namespace
}  // namespace velmora
