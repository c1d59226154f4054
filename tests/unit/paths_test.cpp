#include "platform/data_folder.h"
#include "platform/path_macros.h"
#include "platform/suite_folder.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "tests/support/file_tree.h"
#include "tests/support/registry_backup.h"
#include "tests/support/registry_values.h"

namespace velmora {
namespace {

std::wstring Shell(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  return SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE) ? buffer : L"";
}
std::wstring Parent(std::wstring path) {
  PathRemoveFileSpecW(path.data());
  return path.c_str();
}
std::wstring ProgramFolder() {
  wchar_t buffer[2048] = {};
  GetModuleFileNameW(nullptr, buffer, 2048);
  return Parent(buffer);
}
using test::DeleteTree;
using test::SetRegistryText;

// The data folder is worked out once per process, so APPDATA names a folder of ours before any test.
struct AppDataEnvironment : ::testing::Environment {
  static inline std::wstring folder;
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder = FormatW(L"%lsVelmoraPaths%lu", temp, GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    SetEnvironmentVariableW(L"APPDATA", folder.c_str());
  }
  void TearDown() override { DeleteTree(folder); }
};
[[maybe_unused]] auto* const kAppData = ::testing::AddGlobalTestEnvironment(new AppDataEnvironment);

TEST(DataFolder, FirstUseFromManyThreadsAgreesAndCreatesIt) {
  std::vector<std::wstring> seen(8);
  std::vector<std::thread> threads;
  for (auto& result : seen) threads.emplace_back([&result] { result = GetDataFolder(); });
  for (auto& thread : threads) thread.join();
  for (const auto& result : seen) EXPECT_EQ(result, AppDataEnvironment::folder + L"\\Vuqsafe\\Velmora");
  EXPECT_TRUE(PathIsDirectoryW(seen[0].c_str()));
}

TEST(DataFolder, DataPathRecreatesFoldersAndStaysInside) {
  const std::wstring folder = GetDataFolder();
  DeleteTree(folder);
  EXPECT_EQ(GetDataPath(L"Icon\\Deep\\a.png"), folder + L"\\Icon\\Deep\\a.png");
  EXPECT_TRUE(PathIsDirectoryW((folder + L"\\Icon\\Deep").c_str()));
  const std::vector<std::wstring> outside = {L"..\\..\\out.txt", L"..\\VelmoraX\\a", L"C:\\abs.txt", L"\\rooted.txt",
                                             std::wstring(MAX_PATH, L'a')};
  for (const auto& relative : outside) EXPECT_EQ(GetDataPath(relative), L"") << relative;
}

TEST(ExpandPathMacros, FolderMacrosAndCleanUp) {
  const std::wstring windows = Shell(CSIDL_WINDOWS), root = Parent(windows), tail(40000, L'a');  // root "C:\"
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"\\SystemRoot\\System32\\drivers\\x.sys", windows + L"\\System32\\drivers\\x.sys"},
      {L"\\??\\C:\\Tools\\a.exe", L"C:\\Tools\\a.exe"},
      {L" csidl_appdata \\Foo", Shell(CSIDL_APPDATA) + L"\\Foo"},
      {L"CSIDL_WINDOWS|-1\\Temp", root + L"Temp"},
      {L"WINDIR|-99/x", root + L"x"},
      {L"\"C:\\Program Files\\App\\app.exe\" -run \"x y\"", L"C:\\Program Files\\App\\app.exe"},
      {L"CSIDL_SYSROOTDIR\\x", root.substr(0, root.size() - 1) + L"\\x"},
      {L"CSIDL_LOCALLOW", Parent(Shell(CSIDL_LOCAL_APPDATA)) + L"\\locallow"},
      {L"CSIDL_VUQSAFE\\Utils", Parent(ProgramFolder()) + L"\\Utils"},
      {L"WINDIR\\" + tail, windows + L"\\" + tail},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(ExpandPathMacros(input), expected) << input;
  // A macro that does not expand stands for itself: "|-N" still removes its text.
  EXPECT_EQ(ExpandPathMacros(L"%VELMORA_UNSET_VAR%|-1\\x"), L"\\x");
  EXPECT_EQ(ExpandPathMacros(L"%VELMORA_UNSET_VAR%\\x"), L"%VELMORA_UNSET_VAR%\\x");
  const std::vector<std::wstring> unchanged = {L"", L"NotAMacro|-1\\x",
                                               L"\\\\server\\share\\f", L"\"C:\\half quoted", L"HKCU-like\\no bars",
                                               tail + L"|-3\\y"};
  for (const auto& path : unchanged) EXPECT_EQ(ExpandPathMacros(path), path);
}

TEST(ExpandPathMacros, EnvironmentExpansionMustFitMaxPath) {
  const std::wstring longest(MAX_PATH - 1, L'v');
  SetEnvironmentVariableW(L"VELMORA_PATHS_VAR", L"C:\\Env\\Sub");
  EXPECT_EQ(ExpandPathMacros(L" %velmora_paths_var%|-1\\x"), L"C:\\Env\\x");
  SetEnvironmentVariableW(L"VELMORA_PATHS_VAR", longest.c_str());
  EXPECT_EQ(ExpandPathMacros(L"%VELMORA_PATHS_VAR%\\x"), longest + L"\\x");
  SetEnvironmentVariableW(L"VELMORA_PATHS_VAR", (longest + L"v").c_str());
  EXPECT_EQ(ExpandPathMacros(L"%VELMORA_PATHS_VAR%\\x"), L"%VELMORA_PATHS_VAR%\\x");
  EXPECT_EQ(ExpandPathMacros(L"%VELMORA_PATHS_VAR%|-1\\x"), L"\\x");
  SetEnvironmentVariableW(L"VELMORA_PATHS_VAR", nullptr);
}

TEST(ExpandPathMacros, RegistryReference) {
  const std::wstring key = FormatW(L"Software\\VelmoraTest%lu", GetCurrentProcessId()), at = L"HKCU\\" + key;
  const std::wstring longest = L"C:\\" + std::wstring(1020, L'a');  // 1023 characters
  const struct { const wchar_t* name; DWORD type; std::wstring text; bool terminated; } values[] = {
      {L"dir", REG_SZ, L"C:\\Data\\", true},   {L"nt", REG_EXPAND_SZ, L"\\??\\WINDIR|-1\\Nt", true},
      {L"max", REG_SZ, longest, true},         {L"long", REG_SZ, longest + L"a", true},
      {L"empty", REG_SZ, L"", true},
      {L"binary", REG_BINARY, L"C:\\Bin", true}};
  for (const auto& v : values) SetRegistryText(HKEY_CURRENT_USER, key, v.name, v.text, v.type, v.terminated);
  const std::pair<std::wstring, std::wstring> cases[] = {
      {at + L"||dir||sub\\file", L"C:\\Data\\sub\\file"},
      {L"hkey_current_user\\" + key + L"||dir||\\sub", L"C:\\Data\\sub"},
      {at + L"||dir||", L"C:\\Data\\"},
      {at + L"||nt||x", Parent(Shell(CSIDL_WINDOWS)) + L"Nt\\x"},
      {at + L"||max", longest},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(ExpandPathMacros(input), expected) << input;
  const std::vector<std::wstring> unreadable = {at + L"||long", at + L"||empty||x",
                                                at + L"||binary", at + L"||missing||x", at + L"Gone||dir",
                                                L"HKXX\\" + key + L"||dir"};
  for (const auto& path : unreadable) EXPECT_EQ(ExpandPathMacros(path), path);
  RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

// One of the suite's HKLM values taken away for a test, and put back afterwards.
struct SavedSuiteValue {
  SavedSuiteValue(const wchar_t* key_path, const wchar_t* value_name) : subkey(key_path), name(value_name) {
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, subkey, name);
  }
  void Set(DWORD type, const std::wstring& text, bool terminated = true) {
    SetRegistryText(HKEY_LOCAL_MACHINE, subkey, name, text, type, terminated);
  }
  const wchar_t *subkey, *name;
  test::ScopedRegistryBackup backup{HKEY_LOCAL_MACHINE, subkey};
};

class SuiteFolderTest : public ::testing::Test {
 protected:
  SavedSuiteValue app_path_{L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Guardian.exe", L"path"};
  SavedSuiteValue install_location_{L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VuqTrevalis",
                                    L"InstallLocation"};
};

TEST_F(SuiteFolderTest, UnregisteredSuiteIsTwoLevelsAboveProgram) {
  EXPECT_EQ(GetSuiteFolderFromRegistry(), L"");
  EXPECT_EQ(GetSuiteFolder(), Parent(ProgramFolder()));
  EXPECT_TRUE(IsInSuiteFolder());
  EXPECT_EQ(ExpandPathMacros(L"%Safe%\\Utils"), L"\\Utils");
}

// The per-user copy's folder is the user's to write: two folders above it is no suite.
TEST(ChooseSuiteFolder, RegisteredElseAboveTheProgramButNeverAboveTheCopy) {
  const struct { const wchar_t* registered; const wchar_t* program; const wchar_t* expected; } cases[] = {
      {L"C:\\Suite", L"C:\\Users\\u\\AppData\\Roaming\\Vuqsafe\\Velmora\\Velmora.exe", L"C:\\Suite"},
      {L"", L"C:\\Users\\u\\AppData\\Roaming\\Vuqsafe\\Velmora\\Velmora.exe", L""},
      {L"", L"C:\\Users\\u\\AppData\\Roaming\\VUQSAFE\\velmora\\Velmora.exe", L""},
      {L"", L"C:\\Suite\\Utils\\Velmora.exe", L"C:\\Suite"},
      {L"", L"C:\\Vuqsafe\\Velmora\\Tools\\Velmora.exe", L"C:\\Vuqsafe\\Velmora"},
      {L"", L"", L""}};
  for (const auto& c : cases) EXPECT_EQ(ChooseSuiteFolder(c.registered, c.program), c.expected) << c.program;
}

TEST_F(SuiteFolderTest, AppPathWinsOverInstallLocationOnlyWhenUsable) {
  install_location_.Set(REG_SZ, L"C:\\Uninst");
  const std::wstring at_limit = L"C:\\" + std::wstring(MAX_PATH - 4, L'p');  // MAX_PATH - 1 characters
  const struct { DWORD type; std::wstring value; bool terminated; std::wstring expected; } cases[] = {
      {REG_EXPAND_SZ, L"C:\\App\\", true, L"C:\\App\\"}, {REG_SZ, at_limit, true, at_limit},
      {REG_SZ, at_limit + L"p", true, L"C:\\Uninst"},    
      {REG_SZ, L"", true, L"C:\\Uninst"},                {REG_BINARY, L"C:\\App", true, L"C:\\Uninst"}};
  for (const auto& c : cases) {
    app_path_.Set(c.type, c.value, c.terminated);
    EXPECT_EQ(GetSuiteFolder(), c.expected) << c.value;
  }
  app_path_.Set(REG_SZ, L"C:\\App\\");
  EXPECT_EQ(ExpandPathMacros(L"%VUQSAFE%\\Utils\\x.exe"), L"C:\\App\\Utils\\x.exe");
  EXPECT_FALSE(IsInSuiteFolder());
}

TEST_F(SuiteFolderTest, ProgramMustLieInsideTheWholeFolder) {
  const std::wstring folder = ProgramFolder();
  for (const auto& [suite, inside] : {std::pair{folder, true}, {folder + L"\\", true}, {AsciiUpper(folder), true},
                                      {folder.substr(0, folder.size() - 1), false}, {folder + L"\\Sub", false}}) {
    install_location_.Set(REG_SZ, suite);
    EXPECT_EQ(IsInSuiteFolder(), inside) << suite;
  }
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

TEST(FolderOccursInPath, TheFolderWithItsBackslashAnywhereInThePath) {
  const struct {
    const wchar_t* folder;
    const wchar_t* path;
    bool occurs;
  } cases[] = {
      {L"C:\\Suite", L"C:\\Suite\\Utils\\Velmora.exe", true},
      {L"C:\\Suite\\", L"c:\\suite\\Utils\\Velmora.exe", true},
      {L"C:\\Suite", L"\\\\?\\C:\\Suite\\Utils\\Velmora.exe", true},  // not only as a prefix
      {L"C:\\Suite", L"C:\\Suite2\\Utils\\Velmora.exe", false},
      {L"C:\\Suite\\Utils\\Velmora.exe", L"C:\\Suite\\Utils\\Velmora.exe", true},
      {L"", L"C:\\Suite\\Velmora.exe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(FolderOccursInPath(c.folder, c.path), c.occurs) << c.folder << " " << c.path;
}

}  // namespace
}  // namespace velmora
