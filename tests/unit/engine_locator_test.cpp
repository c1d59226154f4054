#include "view/engine_locator.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/module_path.h"
#include "platform/module_signature.h"
#include "platform/path_text.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "platform/version_info.h"
#include "tests/support/file_tree.h"
#include "tests/support/registry_backup.h"
#include "tests/support/registry_values.h"

namespace velmora {
namespace {

using test::ScopedRegistryBackup;
using test::SetRegistryText;
using test::TempFolder;
using test::WriteAll;

constexpr wchar_t kClientStateKey[] =
    L"Software\\Vuq\\Ravida6\\Update\\ClientState\\{02E720BD-2B50-4404-947C-65DBE64F6970}";
constexpr wchar_t kSettingsKey[] = L"Software\\Vuq\\Ravida6\\Chrome";
constexpr wchar_t kAppPathsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ravida6.exe";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ravida6";

using test::TestProgramFile;
std::wstring BrowserFile(const std::wstring& relative) {
  return AppendPathComponents(ParentFolder(GetModulePath(nullptr)), L"..\\browser\\" + relative);
}
std::wstring EngineProbe(const wchar_t* version, bool signed_copy = true) {
  std::wstring name = L"engine_probe_" + std::wstring(version);
  for (wchar_t& c : name) c = c == L'.' ? L'_' : c;
  return TestProgramFile(name + (signed_copy ? L".dll" : L"_unsigned.dll"));
}

// The trust service the tests install: our signer's signature, checked for real.
std::optional<int> SignedBySuite(const std::wstring& path) {
  return VerifyModuleSignature(path) ? 1 : kUntrustedFileClass;
}

// A program of binary type `type` with a version resource: this build's probe first, then the
// system's programs (a 32-bit process reaches the 64-bit system folder as Sysnative).
std::wstring ProgramOfType(DWORD type) {
  std::vector<std::wstring> candidates = {TestProgramFile(L"version_probe.exe")};
  wchar_t windows[MAX_PATH] = {};
  if (GetWindowsDirectoryW(windows, MAX_PATH)) {
    for (const wchar_t* folder : {L"Sysnative", L"System32", L"SysWOW64"}) {
      for (const wchar_t* name : {L"notepad.exe", L"regedit.exe", L"cmd.exe"}) {
        candidates.push_back(FormatW(L"%ls\\%ls\\%ls", windows, folder, name));
      }
    }
  }
  for (const std::wstring& candidate : candidates) {
    DWORD found = 0;
    if (GetBinaryTypeW(candidate.c_str(), &found) && found == type && !GetFileVersionText(candidate).empty()) {
      return candidate;
    }
  }
  return {};
}

void DeleteValue(HKEY root, const std::wstring& key, const wchar_t* name) { RegDeleteKeyValueW(root, key.c_str(), name); }

// --- pure pieces ------------------------------------------------------------------------------

TEST(RequiredEngineFiles, ChildAndNativesOnlyBelowTheSlimVersion) {
  const std::vector<std::wstring> full = {L"chrome.dll", L"chrome_child.dll", L"natives_blob.bin",
                                          L"icudtl.dat", L"chrome_100_percent.pak", L"resources.pak"};
  const std::vector<std::wstring> slim = {L"chrome.dll", L"icudtl.dat", L"chrome_100_percent.pak",
                                          L"resources.pak"};
  EXPECT_EQ(RequiredEngineFiles(L""), full);
  EXPECT_EQ(RequiredEngineFiles(L"13.1.1000.9999"), full);
  EXPECT_EQ(RequiredEngineFiles(L"13.1.1001"), full);  // three fields: below 13.1.1001.0
  EXPECT_EQ(RequiredEngineFiles(L"13.1.1001.0"), slim);
  EXPECT_EQ(RequiredEngineFiles(L"14"), slim);
}

TEST(EnginePaths, ComposedFromTheInstallerPath) {
  EngineLayout layout{L"C:\\B\\Application\\13.1.1001.0\\Installer\\setup.exe", L""};
  EXPECT_EQ(EnginePath(layout, L"chrome.dll"), L"C:\\B\\Application\\13.1.1001.0\\chrome.dll");
  EXPECT_EQ(EnginePath(layout, L""), L"C:\\B\\Application\\13.1.1001.0");
  EXPECT_EQ(BrowserApplicationFolder(layout), L"C:\\B\\Application");
  EXPECT_EQ(EngineComponentsFolder(layout), L"C:\\B\\Application\\components\\");

  // A child process takes the engine from the version folder it was told, the components folder
  // stays where it is.
  layout.engine_version = L"12.0.900.1";
  EXPECT_EQ(EnginePath(layout, L"chrome_child.dll"), L"C:\\B\\Application\\12.0.900.1\\chrome_child.dll");
  EXPECT_EQ(EngineComponentsFolder(layout), L"C:\\B\\Application\\components\\");

  const EngineLayout none{L"", L"12.0.900.1"};
  EXPECT_EQ(EnginePath(none, L"chrome.dll"), L"");
  EXPECT_EQ(EngineComponentsFolder(none), L"");
  EXPECT_EQ(BrowserApplicationFolder(none), L"");
}

TEST(IsSystemUserName, WholeNameWithoutRegardToCase) {
  for (const auto& [name, system] :
       {std::pair{L"SYSTEM", true}, {L"system", true}, {L"SYSTEMS", false}, {L"SYSTE", false}, {L"", false}}) {
    EXPECT_EQ(IsSystemUserName(name), system) << name;
  }
}

TEST(UserSidOfProcess, NamesTheHiveOfTheProcessUser) {
  const std::wstring sid = UserSidOfProcess(GetCurrentProcessId());
  ASSERT_EQ(sid.rfind(L"S-1-", 0), 0u) << sid;
  ScopedRegKey hive;
  EXPECT_EQ(RegOpenKeyExW(HKEY_USERS, sid.c_str(), 0, KEY_READ, hive.receive()), ERROR_SUCCESS) << sid;
  EXPECT_EQ(UserSidOfProcess(0), L"");  // the idle process cannot be opened
}

// --- tests with files and registry values of their own -----------------------------------------

class EngineLocatorTest : public ::testing::Test {
 protected:
  // Our own signature too: the tests run elevated, and the engine lies in a user's folder.
  void SetUp() override { SetTrustVerifiers(&VerifyModuleSignature, &SignedBySuite); }
  void TearDown() override { SetTrustVerifiers(nullptr, nullptr); }

  // Copies `source` to `relative` in the test folder (an empty source makes an empty file).
  std::wstring Put(const std::wstring& relative, const std::wstring& source = L"") {
    const std::wstring path = folder_ / relative;
    EXPECT_TRUE(WriteAll(path, "")) << path;
    if (!source.empty()) {
      EXPECT_TRUE(CopyFileW(source.c_str(), path.c_str(), FALSE)) << source;
    }
    return path;
  }

  // A browser in "<name>\Application" whose engine folder is `folder`: the launcher, chrome.dll
  // from `engine`, chrome_elf.dll, and the data files; chrome_child.dll and natives_blob.bin only
  // when asked for.
  EngineLayout MakeBrowser(const std::wstring& name, const std::wstring& folder, const std::wstring& engine,
                           bool with_child, bool with_natives) {
    const std::wstring app = name + L"\\Application\\";
    const std::wstring engine_folder = app + folder + L"\\";
    Put(app + L"Rizozerudu.exe", TestProgramFile(L"old_probe.exe"));
    Put(engine_folder + L"chrome.dll", engine);
    Put(engine_folder + L"chrome_elf.dll", BrowserFile(std::wstring(L"Application\\") + VELMORA_ENGINE_VERSION +
                                                       L"\\chrome_elf.dll"));
    if (with_child) Put(engine_folder + L"chrome_child.dll", EngineProbe(L"10.0.1215.0"));
    if (with_natives) Put(engine_folder + L"natives_blob.bin");
    for (const wchar_t* data : {L"icudtl.dat", L"chrome_100_percent.pak", L"resources.pak"}) Put(engine_folder + data);
    return {root_ + L"\\" + engine_folder + L"Installer\\setup.exe", L""};
  }

  TempFolder folder_{L"VelmoraEngine"};
  const std::wstring root_ = folder_.path();
};

TEST_F(EngineLocatorTest, ProbeTakesTheLauncherBesideA64BitCoreExecutable) {
  const std::wstring wide = ProgramOfType(SCS_64BIT_BINARY);
  const std::wstring narrow = ProgramOfType(SCS_32BIT_BINARY);
  if (wide.empty() || narrow.empty()) GTEST_SKIP() << "no 64-bit or no 32-bit program with a version here";
  const std::wstring launcher_version = GetFileVersionText(TestProgramFile(L"old_probe.exe"));
  ASSERT_NE(GetFileVersionText(wide), launcher_version);
  ASSERT_NE(GetFileVersionText(narrow), launcher_version);

  Put(L"Wide\\Ravida.exe", wide);
  Put(L"Wide\\Rizozerudu.exe", TestProgramFile(L"old_probe.exe"));
  EXPECT_EQ(ProbeBrowserFolder(root_ + L"\\Wide"), root_ + L"\\Wide\\" + launcher_version + L"\\Installer\\setup.exe");

  Put(L"Narrow\\Ravida.exe", narrow);
  Put(L"Narrow\\Rizozerudu.exe", TestProgramFile(L"old_probe.exe"));
  EXPECT_EQ(ProbeBrowserFolder(root_ + L"\\Narrow"),
            root_ + L"\\Narrow\\" + GetFileVersionText(narrow) + L"\\Installer\\setup.exe");

  Put(L"WideAlone\\Ravida.exe", wide);
  EXPECT_EQ(ProbeBrowserFolder(root_ + L"\\WideAlone"), L"");
}

TEST_F(EngineLocatorTest, ProbePassesOverFilesWithoutAVersion) {
  // Not a program at all: GetBinaryTypeW fails, which would accept it, but it names no version.
  Put(L"Odd\\Ravida.exe");
  EXPECT_EQ(ProbeBrowserFolder(root_ + L"\\Odd"), L"");
  Put(L"Odd\\Rizozerudu.exe", TestProgramFile(L"old_probe.exe"));
  EXPECT_EQ(ProbeBrowserFolder(root_ + L"\\Odd"), root_ + L"\\Odd\\0.9.0.0\\Installer\\setup.exe");
  EXPECT_EQ(ProbeBrowserFolder(root_ + L"\\Missing"), L"");
  EXPECT_EQ(ProbeBrowserFolder(L""), L"");
}

class BrowserRegistryTest : public EngineLocatorTest {
 protected:
  void SetUp() override {
    EngineLocatorTest::SetUp();
    base_ = FormatW(L"Software\\VelmoraTest%lu", GetCurrentProcessId());
    prefix_ = base_ + L"\\";
    sid_ = UserSidOfProcess(GetCurrentProcessId());
    ASSERT_FALSE(sid_.empty());
    user_key_ = sid_ + L"\\" + base_;
    backups_.emplace_back(new ScopedRegistryBackup(HKEY_CURRENT_USER, base_));
    backups_.emplace_back(new ScopedRegistryBackup(HKEY_USERS, user_key_));
    backups_.emplace_back(new ScopedRegistryBackup(HKEY_CURRENT_USER, sid_));
  }
  void TearDown() override {
    backups_.clear();
    EngineLocatorTest::TearDown();
  }
  // A browser folder with the launcher in "<name>\Application"; answers that folder.
  std::wstring Browser(const std::wstring& name) {
    Put(name + L"\\Application\\Rizozerudu.exe", TestProgramFile(L"old_probe.exe"));
    return root_ + L"\\" + name + L"\\Application";
  }

  std::wstring base_, prefix_, sid_, user_key_;
  std::vector<std::unique_ptr<ScopedRegistryBackup>> backups_;
};

TEST_F(BrowserRegistryTest, LookupsInOrderFirstAnswerWins) {
  const std::wstring settings = Browser(L"Settings\\Ravida6");
  const std::wstring app_paths = Browser(L"AppPaths");
  ASSERT_TRUE(SetRegistryText(HKEY_CURRENT_USER, prefix_ + kClientStateKey, L"UninstallString", L"X:\\as\\written.exe"));
  ASSERT_TRUE(SetRegistryText(HKEY_CURRENT_USER, prefix_ + kSettingsKey, L"last_install_path", root_ + L"\\Settings\\\\"));
  ASSERT_TRUE(SetRegistryText(HKEY_CURRENT_USER, prefix_ + kAppPathsKey, L"Path", app_paths + L"\\"));
  ASSERT_TRUE(SetRegistryText(HKEY_CURRENT_USER, prefix_ + kUninstallKey, L"InstallLocation", app_paths));

  EXPECT_EQ(LookUpBrowserInstaller(HKEY_CURRENT_USER, prefix_), L"X:\\as\\written.exe");
  ASSERT_TRUE(SetRegistryText(HKEY_CURRENT_USER, prefix_ + kClientStateKey, L"UninstallString", L""));
  EXPECT_EQ(LookUpBrowserInstaller(HKEY_CURRENT_USER, prefix_), settings + L"\\0.9.0.0\\Installer\\setup.exe");
  // A recorded folder without the browser in it falls through to the next lookup.
  ASSERT_TRUE(SetRegistryText(HKEY_CURRENT_USER, prefix_ + kSettingsKey, L"last_install_path", root_ + L"\\Gone"));
  EXPECT_EQ(LookUpBrowserInstaller(HKEY_CURRENT_USER, prefix_), app_paths + L"\\0.9.0.0\\Installer\\setup.exe");
  // The uninstall entry under this root is never read: it is looked for under HKEY_USERS.
  DeleteValue(HKEY_CURRENT_USER, prefix_ + kAppPathsKey, L"Path");
  EXPECT_EQ(LookUpBrowserInstaller(HKEY_CURRENT_USER, prefix_), L"");
  EXPECT_EQ(LookUpBrowserInstaller(HKEY_CURRENT_USER, L"Software\\VelmoraTestNoSuchKey\\"), L"");
}

TEST_F(BrowserRegistryTest, InstallLocationIsFoundOnlyOnTheUsersPass) {
  const std::wstring folder = Browser(L"PerUser");
  const std::wstring expected = folder + L"\\0.9.0.0\\Installer\\setup.exe";
  ASSERT_TRUE(SetRegistryText(HKEY_USERS, user_key_ + L"\\" + kUninstallKey, L"InstallLocation", folder));
  ASSERT_TRUE(SetRegistryText(HKEY_CURRENT_USER, user_key_ + L"\\" + kUninstallKey, L"InstallLocation", folder));
  ASSERT_TRUE(SetRegistryText(HKEY_CURRENT_USER, prefix_ + kUninstallKey, L"InstallLocation", folder));

  EXPECT_EQ(LookUpBrowserInstaller(HKEY_USERS, user_key_ + L"\\"), expected);
  EXPECT_EQ(LookUpBrowserInstaller(HKEY_CURRENT_USER, prefix_), L"");
  EXPECT_EQ(FindBrowserInstaller(user_key_), expected);
}

TEST_F(BrowserRegistryTest, UsersHiveIsAskedBeforeTheCurrentUser) {
  ASSERT_TRUE(SetRegistryText(HKEY_USERS, user_key_ + L"\\" + kClientStateKey, L"UninstallString", L"X:\\users.exe"));
  ASSERT_TRUE(SetRegistryText(HKEY_CURRENT_USER, user_key_ + L"\\" + kClientStateKey, L"UninstallString", L"X:\\cu.exe"));
  EXPECT_EQ(FindBrowserInstaller(user_key_), L"X:\\users.exe");
  DeleteValue(HKEY_USERS, user_key_ + L"\\" + kClientStateKey, L"UninstallString");
  EXPECT_EQ(FindBrowserInstaller(user_key_), L"X:\\cu.exe");
}

TEST_F(EngineLocatorTest, SlimEngineNeedsNoNativesButStillItsChildLibrary) {
  const EngineLayout no_child = MakeBrowser(L"A", L"13.1.1001.0", EngineProbe(L"10.0.1215.0"), false, false);
  EXPECT_TRUE(IsEnginePresent(no_child));
  EXPECT_EQ(GetEngineVersion(no_child), L"13.1.1001.0");
  EXPECT_TRUE(HasRequiredEngineFiles(no_child));
  EXPECT_FALSE(IsEngineUsable(no_child));

  const EngineLayout with_child = MakeBrowser(L"B", L"13.1.1001.0", EngineProbe(L"10.0.1215.0"), true, false);
  EXPECT_TRUE(IsEngineUsable(with_child));

  // One version below, the same files are not enough.
  const EngineLayout older = MakeBrowser(L"C", L"13.1.1000.0", EngineProbe(L"10.0.1215.0"), true, false);
  EXPECT_FALSE(HasRequiredEngineFiles(older));
  EXPECT_FALSE(IsEngineUsable(older));
  Put(L"C\\Application\\13.1.1000.0\\natives_blob.bin");
  EXPECT_TRUE(IsEngineUsable(older));
}

TEST_F(EngineLocatorTest, FolderWithoutDotsTakesTheEngineFileVersion) {
  const EngineLayout slim = MakeBrowser(L"A", L"current", EngineProbe(L"13.1.1001.0"), true, false);
  EXPECT_EQ(GetEngineVersion(slim), L"13.1.1001.0");
  EXPECT_TRUE(HasRequiredEngineFiles(slim));
  const EngineLayout old = MakeBrowser(L"B", L"current", EngineProbe(L"10.0.1215.0"), true, false);
  EXPECT_EQ(GetEngineVersion(old), L"10.0.1215.0");
  EXPECT_FALSE(HasRequiredEngineFiles(old));

  const EngineLayout no_engine{root_ + L"\\Nothing\\Application\\1.2.3.4\\Installer\\setup.exe", L""};
  EXPECT_EQ(GetEngineVersion(no_engine), L"");
  EXPECT_FALSE(HasRequiredEngineFiles(no_engine));
  EXPECT_FALSE(IsEnginePresent(no_engine));
  EXPECT_FALSE(HasRequiredEngineFiles(EngineLayout{}));
}

TEST_F(EngineLocatorTest, UsableOnlyWithTrustedLibrariesOfTheMinimumVersion) {
  EXPECT_TRUE(IsEngineUsable(MakeBrowser(L"Ok", L"13.1.1001.0", EngineProbe(L"10.0.1215.0"), true, true)));
  EXPECT_FALSE(IsEngineUsable(MakeBrowser(L"Old", L"13.1.1001.0", EngineProbe(L"10.0.1214.9"), true, true)));
  EXPECT_FALSE(IsEngineUsable(MakeBrowser(L"Unsigned", L"13.1.1001.0", EngineProbe(L"10.0.1215.0", false), true, true)));

  const EngineLayout bad_child = MakeBrowser(L"BadChild", L"13.1.1001.0", EngineProbe(L"10.0.1215.0"), true, true);
  Put(L"BadChild\\Application\\13.1.1001.0\\chrome_child.dll", EngineProbe(L"10.0.1215.0", false));
  EXPECT_FALSE(IsEngineUsable(bad_child));

  // Every engine file in place, but neither browser executable.
  const EngineLayout absent = MakeBrowser(L"Absent", L"13.1.1001.0", EngineProbe(L"10.0.1215.0"), true, true);
  ASSERT_TRUE(DeleteFileW((root_ + L"\\Absent\\Application\\Rizozerudu.exe").c_str()));
  EXPECT_TRUE(HasRequiredEngineFiles(absent));
  EXPECT_FALSE(IsEnginePresent(absent));
  EXPECT_FALSE(IsEngineUsable(absent));
}

TEST_F(EngineLocatorTest, EngineEntryLoadsTheEarlyLibraryFirstAndKeepsTheExport) {
  const EngineLayout layout = MakeBrowser(L"A", L"13.1.1001.0", EngineProbe(L"10.0.1215.0"), true, true);
  const std::wstring elf = EnginePath(layout, L"chrome_elf.dll");
  const std::wstring engine = EnginePath(layout, L"chrome.dll");
  {
    EngineEntries entries;
    ASSERT_TRUE(entries.ResolveEngineEntry(layout));
    ASSERT_NE(entries.engine_entry(), nullptr);
    EXPECT_EQ(entries.engine_entry()(nullptr, nullptr), ENGINE_PROBE_ANSWER);
    EXPECT_NE(GetModuleHandleW(elf.c_str()), nullptr);
    // Resolved once: a second call answers at once, even with the engine gone.
    EXPECT_TRUE(entries.ResolveEngineEntry(EngineLayout{}));
    EXPECT_EQ(entries.child_entry(), nullptr);
    ASSERT_TRUE(entries.ResolveChildEntry(layout));
    EXPECT_EQ(entries.child_entry()(nullptr, nullptr), ENGINE_PROBE_ANSWER);
  }
  // The owner let both libraries go.
  EXPECT_EQ(GetModuleHandleW(elf.c_str()), nullptr);
  EXPECT_EQ(GetModuleHandleW(engine.c_str()), nullptr);
}

TEST_F(EngineLocatorTest, FailedResolutionLeavesNothingLoaded) {
  const EngineLayout layout = MakeBrowser(L"A", L"13.1.1001.0", EngineProbe(L"10.0.1215.0"), true, true);
  const std::wstring folder = root_ + L"\\A\\Application\\13.1.1001.0\\";
  const std::wstring elf = folder + L"chrome_elf.dll";
  const std::wstring engine = folder + L"chrome.dll";
  const auto expect_unresolved = [&](const char* why) {
    EngineEntries entries;
    EXPECT_FALSE(entries.ResolveEngineEntry(layout)) << why;
    EXPECT_EQ(entries.engine_entry(), nullptr) << why;
    EXPECT_EQ(GetModuleHandleW(elf.c_str()), nullptr) << why;
    EXPECT_EQ(GetModuleHandleW(engine.c_str()), nullptr) << why;
  };

  Put(L"A\\Application\\13.1.1001.0\\chrome_elf.dll", EngineProbe(L"10.0.1215.0", false));
  expect_unresolved("unsigned chrome_elf.dll");
  ASSERT_TRUE(DeleteFileW(elf.c_str()));
  expect_unresolved("no chrome_elf.dll");
  Put(L"A\\Application\\13.1.1001.0\\chrome_elf.dll", EngineProbe(L"10.0.1215.0"));
  Put(L"A\\Application\\13.1.1001.0\\chrome.dll", EngineProbe(L"10.0.1215.0", false));
  expect_unresolved("unsigned chrome.dll");
  // Signed, but without the ChromeShell export.
  Put(L"A\\Application\\13.1.1001.0\\chrome.dll", BrowserFile(std::wstring(L"Application\\") +
                                                               VELMORA_ENGINE_VERSION + L"\\chrome_elf.dll"));
  expect_unresolved("no export");
  Put(L"A\\Application\\13.1.1001.0\\chrome.dll", EngineProbe(L"10.0.1215.0"));
  ASSERT_TRUE(DeleteFileW((root_ + L"\\A\\Application\\Rizozerudu.exe").c_str()));
  expect_unresolved("browser not present");

  EngineEntries entries;
  Put(L"A\\Application\\13.1.1001.0\\chrome_child.dll", EngineProbe(L"10.0.1215.0", false));
  EXPECT_FALSE(entries.ResolveChildEntry(layout));
  ASSERT_TRUE(DeleteFileW((folder + L"chrome_child.dll").c_str()));
  EXPECT_FALSE(entries.ResolveChildEntry(layout));
  EXPECT_EQ(entries.child_entry(), nullptr);
}

// The process-wide locator reads this user's real browser entries: the test clears them for its
// run and puts them back afterwards.
TEST_F(EngineLocatorTest, ProcessLocatorSeesAnEngineInstalledLaterAndKeepsIt) {
  ScopedRegistryBackup browser(HKEY_CURRENT_USER, L"Software\\Vuq");
  ScopedRegistryBackup app_paths(HKEY_CURRENT_USER, kAppPathsKey);
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Vuq\\Ravida6");
  RegDeleteTreeW(HKEY_CURRENT_USER, kAppPathsKey);
  CEngineLocator& locator = CEngineLocator::Instance();
  ASSERT_EQ(locator.Layout().installer_path, L"") << "another test found a browser first";
  EXPECT_FALSE(locator.IsEnginePresent());
  EXPECT_EQ(locator.EnginePath(L"chrome.dll"), L"");

  const EngineLayout layout = MakeBrowser(L"A", L"13.1.1001.0", EngineProbe(L"10.0.1215.0"), true, true);
  ASSERT_TRUE(SetRegistryText(HKEY_CURRENT_USER, kClientStateKey, L"UninstallString", layout.installer_path));
  EXPECT_TRUE(locator.IsEnginePresent());
  EXPECT_TRUE(locator.IsEngineUsable());
  EXPECT_EQ(locator.EnginePath(L"chrome.dll"), EnginePath(layout, L"chrome.dll"));
  EXPECT_EQ(locator.EngineVersion(), L"13.1.1001.0");

  // Found once, kept: a later change of the registry is not seen.
  ASSERT_TRUE(SetRegistryText(HKEY_CURRENT_USER, kClientStateKey, L"UninstallString", L"X:\\elsewhere\\setup.exe"));
  EXPECT_EQ(locator.Layout().installer_path, layout.installer_path);

  locator.SetEngineVersion(L"10.0.1215.0");
  EXPECT_EQ(locator.EnginePath(L"chrome.dll"), root_ + L"\\A\\Application\\10.0.1215.0\\chrome.dll");
  locator.SetEngineVersion(L"");
}

}  // namespace
}  // namespace velmora
