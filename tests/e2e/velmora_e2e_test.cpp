// Runs the built Velmora.exe from the suite layout, the way the installer, the autostart entry
// and a second start by the user run it.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/module_path.h"
#include "platform/version_info.h"
#include "tests/e2e/child_process.h"
#include "tests/support/registry_backup.h"
#include "platform/process_ids.h"

namespace velmora::test {
namespace {

constexpr DWORD kTimeoutMs = 10 * 60 * 1000;  // a guard against hangs, not a timing check
constexpr wchar_t kSettingsKey[] = L"Software\\VuqAppMgr\\Velmora";

std::optional<DWORD> ReadSettingsDword(const wchar_t* name) {
  DWORD value = 0, type = 0, size = sizeof(value);
  if (::SHGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, &type, &value, &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value)) {
    return std::nullopt;
  }
  return value;
}

DWORD SecondsSince1970() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
  return static_cast<DWORD>(t.QuadPart / 10000000ULL - 11644473600ULL);
}

// A window of the side bar's class, owned by the test, standing in for a running side bar.
class RunningSideBarWindow {
 public:
  explicit RunningSideBarWindow(bool closes_on_request) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &RunningSideBarWindow::Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kSideBarWindowClass;
    ::RegisterClassW(&wc);
    hwnd_ = ::CreateWindowExW(0, kSideBarWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              wc.hInstance, nullptr);
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, closes_on_request ? 1 : 0);
  }
  ~RunningSideBarWindow() {
    if (::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
  }
  HWND hwnd() const { return hwnd_; }

  int DrainShowRequests() {
    int count = 0;
    MSG msg;
    while (::PeekMessageW(&msg, hwnd_, WM_SHOW_INSTANCE, WM_SHOW_INSTANCE, PM_REMOVE)) ++count;
    return count;
  }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CLOSE) {
      if (::GetWindowLongPtrW(hwnd, GWLP_USERDATA)) ::DestroyWindow(hwnd);
      return 0;
    }
    return ::DefWindowProcW(hwnd, message, wparam, lparam);
  }
  HWND hwnd_ = nullptr;
};

class VelmoraProgram : public ::testing::Test {
 protected:
  ChildResult Run(const std::wstring& arguments) {
    // A promotion prompt that shows is closed by the skin stand-in.
    return RunChild(VelmoraUnderTest(), arguments, kTimeoutMs,
                    {{L"APPDATA", appdata_.path()}, {L"VELMORA_SKIN_CLICK", L"1034 200"}});
  }
  std::wstring PerUserCopy() const { return appdata_.path() + L"\\Vuqsafe\\Velmora\\Velmora.exe"; }

  ScopedTempFolder appdata_;
  test::ScopedRegistryBackup settings_{HKEY_CURRENT_USER, kSettingsKey};
  test::ScopedRegistryBackup run_{HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"};
};

TEST_F(VelmoraProgram, EveryModeEndsWithExitCodeZero) {
  for (const wchar_t* arguments : {L"", L"/inst_norun", L"-P", L"/promotion", L"/start", L"/inst /uninst",
                                   L"/rerun /from=promotion word", L"/lowrun", L"=", L"/ /- -/",
                                   L"--type=renderer --lang=en"}) {
    // The promotion runs find the side bar off and the prompt due.
    const bool promotion = arguments == std::wstring(L"-P") || arguments == std::wstring(L"/promotion");
    if (promotion) {
      const DWORD off = 0;
      ::SHSetValueW(HKEY_CURRENT_USER, kSettingsKey, L"switch_flags", REG_DWORD, &off, sizeof(off));
      ::SHDeleteValueW(HKEY_CURRENT_USER, kSettingsKey, L"last_show_promotion");
    }
    const DWORD before = SecondsSince1970();
    ChildResult result = Run(arguments);
    ASSERT_TRUE(result.started) << arguments;
    EXPECT_TRUE(result.finished) << arguments;
    EXPECT_EQ(0u, result.exit_code) << arguments;
    if (promotion) {
      // The prompt's window was made (its time recorded) and it was not accepted.
      const auto stamp = ReadSettingsDword(L"last_show_promotion");
      EXPECT_TRUE(stamp.has_value() && *stamp >= before) << arguments;
      EXPECT_EQ(std::optional<DWORD>(0), ReadSettingsDword(L"switch_flags")) << arguments;
    }
  }
}

TEST_F(VelmoraProgram, SecondStartAsksTheRunningInstanceToShowAndEnds) {
  HANDLE mutex = ::CreateMutexW(nullptr, TRUE, kInstanceMutexName);
  ASSERT_NE(nullptr, mutex);
  ASSERT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), ::GetLastError()) << "a side bar is running";
  RunningSideBarWindow window(/*closes_on_request=*/true);

  ChildResult result = Run(L"");
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(0u, result.exit_code);
  EXPECT_EQ(1, window.DrainShowRequests());

  // Autostart while the side bar runs behaves the same.
  EXPECT_EQ(0u, Run(L"/start").exit_code);
  EXPECT_EQ(1, window.DrainShowRequests());
  ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
}

TEST_F(VelmoraProgram, UninstallClosesTheRunningSideBarAndRemovesThePerUserCopy) {
  ::SHCreateDirectoryExW(nullptr, (appdata_.path() + L"\\Vuqsafe\\Velmora").c_str(), nullptr);
  HANDLE copy = ::CreateFileW(PerUserCopy().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, copy);
  ::CloseHandle(copy);
  RunningSideBarWindow window(/*closes_on_request=*/true);

  const DWORD before = SecondsSince1970();
  ChildResult result = Run(L"/uninst");
  const DWORD after = SecondsSince1970();
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(0u, result.exit_code);
  EXPECT_FALSE(::IsWindow(window.hwnd())) << "the side bar was not asked to close";
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(PerUserCopy().c_str()));
  const auto stamp = ReadSettingsDword(L"last_uninst");
  ASSERT_TRUE(stamp.has_value());
  EXPECT_GE(*stamp, before);
  EXPECT_LE(*stamp, after);
}

std::wstring ReadRunValue() {
  wchar_t value[600] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
  if (::SHGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"VuqVelmora", &type,
                    value, &size) != ERROR_SUCCESS) {
    return {};
  }
  return value;
}

TEST_F(VelmoraProgram, InstallRegistersAutostartAndUninstallRemovesEverything) {
  ChildResult install = Run(L"/inst_norun");
  EXPECT_EQ(0u, install.exit_code);
  EXPECT_EQ(std::optional<DWORD>(1), ReadSettingsDword(L"switch_flags"));
  // The suite is not registered here: it is the folder two levels above the program.
  EXPECT_EQ(VelmoraUnderTest() + L" /start", ReadRunValue());

  // What the uninstaller cleans up: the desktop shortcut, the per-user copy, and a side bar that
  // does not close when asked (here a long-running program that bears our image name).
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
  ::SHCreateDirectoryExW(nullptr, desktop, nullptr);
  const std::wstring shortcut = std::wstring(desktop) + L"\\VuqVelmora.lnk";
  ::CloseHandle(::CreateFileW(shortcut.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ::SHCreateDirectoryExW(nullptr, (appdata_.path() + L"\\Vuqsafe\\Velmora").c_str(), nullptr);
  ::CloseHandle(::CreateFileW(PerUserCopy().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  const std::wstring stubborn = appdata_.path() + L"\\stubborn";
  ::CreateDirectoryW(stubborn.c_str(), nullptr);
  const std::wstring sleeper = stubborn + L"\\Velmora.exe";
  ASSERT_TRUE(::CopyFileW((ParentFolder(GetModulePath(nullptr)) + L"\\sleeper.exe").c_str(), sleeper.c_str(), FALSE));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION running{};
  std::wstring command = L"\"" + sleeper + L"\" 120";
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &running));
  RunningSideBarWindow window(/*closes_on_request=*/false);

  ChildResult uninstall = Run(L"/uninst");
  EXPECT_EQ(0u, uninstall.exit_code);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(running.hProcess, 10000)) << "the running instance was not ended";
  ::TerminateProcess(running.hProcess, 0);
  ::CloseHandle(running.hThread);
  ::CloseHandle(running.hProcess);
  EXPECT_EQ(std::optional<DWORD>(0), ReadSettingsDword(L"switch_flags"));
  EXPECT_EQ(L"", ReadRunValue());
  EXPECT_TRUE(ReadSettingsDword(L"last_uninst").has_value());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(shortcut.c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(PerUserCopy().c_str()));
}

TEST_F(VelmoraProgram, InstallWithoutRunLeavesTheUninstallStampAlone) {
  ::SHDeleteValueW(HKEY_CURRENT_USER, kSettingsKey, L"last_uninst");
  EXPECT_EQ(0u, Run(L"/inst_norun /uninst").exit_code);
  EXPECT_FALSE(ReadSettingsDword(L"last_uninst").has_value());
}

TEST(VelmoraImage, CarriesItsOwnVersion) {
  EXPECT_EQ(std::wstring(VELMORA_EXPECTED_VERSION), GetFileVersionText(VelmoraUnderTest()));
  EXPECT_EQ(std::wstring(VELMORA_EXPECTED_VERSION), GetFileVersionOrZero(VelmoraUnderTest()));
  EXPECT_EQ(L"Velmora Side Bar", GetFileDescription(VelmoraUnderTest()));
  HMODULE image = ::LoadLibraryExW(VelmoraUnderTest().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, image);
  EXPECT_NE(nullptr, ::FindResourceW(image, MAKEINTRESOURCEW(107), RT_GROUP_ICON));
  ::FreeLibrary(image);
}

// The program installed loads the signed stand-ins beside it; as a shell child without an engine
// it simply ends.
TEST(RealProgram, InstallHookLoadsTheSignedCompanionsAndShellChildEnds) {
  // The install hook writes the autostart value and the side bar switch: both are put back, or
  // the next Wine session would start this side bar by itself.
  test::ScopedRegistryBackup settings(HKEY_CURRENT_USER, kSettingsKey);
  test::ScopedRegistryBackup run(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  ScopedTempFolder temp;
  const std::wstring log = temp.path() + L"\\standins.log";
  const std::wstring suite = ParentFolder(ParentFolder(VelmoraUnderTest()));
  ScopedSuiteRegistration registration(suite, RegistryViewOf(VelmoraUnderTest()));
  const EnvironmentOverrides environment = {{L"APPDATA", temp.path()}, {L"VELMORA_STANDIN_LOG", log}};

  ChildResult install = RunChild(VelmoraUnderTest(), L"/inst_norun", kTimeoutMs, environment);
  ASSERT_TRUE(install.started);
  EXPECT_TRUE(install.finished);
  EXPECT_EQ(0u, install.exit_code);
  const auto entries = ReadLog(log);
  EXPECT_EQ(2u, Count(entries, "hostkit", "start "));
  EXPECT_EQ(2u, Count(entries, "hostkit", "release "));
  EXPECT_EQ(1u, Count(entries, "faultsink", "initialize"));

  ChildResult child = RunChild(VelmoraUnderTest(), L"--type=renderer", kTimeoutMs, environment);
  EXPECT_TRUE(child.finished);
  EXPECT_EQ(0u, child.exit_code);
}

// Libraries planted beside a copy of the program under the names of system libraries it uses,
// with the loader told to prefer such files (the system's per-program load order): none of them
// is loaded, at start or later. A program of the same name that loads one by its bare name, planted
// the same way, shows that such a load would leave its mark.
TEST(PlantedLibrary, BesideACopyOfTheProgramIsNeverLoaded) {
  const std::wstring overrides_key = L"Software\\Wine\\AppDefaults\\Velmora.exe\\DllOverrides";
  ScopedRegistryBackup backup(HKEY_CURRENT_USER, overrides_key);
  ScopedTempFolder temp, control;
  const std::wstring copy = temp.path() + L"\\Velmora.exe";
  ASSERT_TRUE(::CopyFileW(VelmoraUnderTest().c_str(), copy.c_str(), FALSE));
  const std::wstring tests = ParentFolder(GetModulePath(nullptr));
  ASSERT_TRUE(::CopyFileW((tests + L"\\sleeper.exe").c_str(), (control.path() + L"\\Velmora.exe").c_str(), FALSE));
  const std::wstring native_first = L"native,builtin";
  // Not version.dll: under Wine a system library of its own imports it before the program runs.
  for (const wchar_t* name : {L"bcrypt", L"crypt32", L"wintrust", L"gdiplus"}) {
    for (const std::wstring& folder : {temp.path(), control.path()}) {
      ASSERT_TRUE(::CopyFileW((tests + L"\\planted_library.dll").c_str(), (folder + L"\\" + name + L".dll").c_str(),
                              FALSE))
          << name;
    }
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CURRENT_USER, overrides_key.c_str(), name, REG_SZ,
                                               native_first.c_str(), DWORD((native_first.size() + 1) * 2)));
  }
  const std::wstring control_mark = control.path() + L"\\ran";
  const ChildResult loaded = RunChild(control.path() + L"\\Velmora.exe", L"0", kTimeoutMs,
                                      {{L"VELMORA_PLANT_MARK", control_mark}, {L"VELMORA_LOAD_BY_NAME", L"wintrust.dll"}});
  ASSERT_TRUE(loaded.finished);
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((control_mark + L".*").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE) << "a planted library that was loaded left no mark";
  ::FindClose(search);

  const std::wstring mark = temp.path() + L"\\ran";
  // As a shell child without an engine the program starts, looks for the engine and ends.
  const ChildResult child = RunChild(copy, L"--type=renderer", kTimeoutMs,
                                     {{L"APPDATA", temp.path()}, {L"VELMORA_PLANT_MARK", mark}});
  ASSERT_TRUE(child.started);
  EXPECT_TRUE(child.finished);
  search = ::FindFirstFileW((mark + L".*").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a planted library ran";
  if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
}

}  // namespace
}  // namespace velmora::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // --velmora=PATH names the program to run; by default the one in this build's suite layout.
  const std::string flag = "--velmora=";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind(flag, 0) == 0) {
      const std::string path = arg.substr(flag.size());
      velmora::test::SetVelmoraUnderTest(std::wstring(path.begin(), path.end()));
    }
  }
  if (velmora::test::VelmoraUnderTest().empty()) {
    velmora::test::SetVelmoraUnderTest(velmora::ParentFolder(velmora::ParentFolder(velmora::GetModulePath(nullptr))) +
                                       L"\\suite\\Utils\\Velmora.exe");
  }
  return RUN_ALL_TESTS();
}
