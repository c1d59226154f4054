#include "config/autostart.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "config/app_config.h"
#include "config/shortcut.h"
#include "platform/exact_path.h"
#include "platform/suite_folder.h"
#include "platform/trust.h"

namespace velmora {
namespace {

constexpr DWORD kResolveFlags = 0x11;  // SLR_NO_UI | SLR_NOSEARCH
constexpr DWORD kStartupMarkBytes = 12;

// The user's start-up choice for the autostart value: true when turned off.
bool IsStartupTurnedOff() {
  BYTE mark[kStartupMarkBytes + 1] = {};
  DWORD type = REG_NONE, size = sizeof(mark);
  return ::SHGetValueW(HKEY_CURRENT_USER, kStartupApprovedKey, kAutoStartValue, &type, mark, &size) == ERROR_SUCCESS &&
         IsTurnedOffStartupMark(type, mark, size);
}

}  // namespace

std::wstring InstalledExecutable() {
  wchar_t path[MAX_PATH] = {};
  const std::wstring suite = GetSuiteFolder();
  if (suite.empty() || suite.size() >= MAX_PATH) return {};
  suite.copy(path, suite.size());
  if (!::PathAppendW(path, L"Utils\\Velmora.exe")) return {};
  return path;
}

std::wstring AutoStartText(const std::wstring& executable) {
  wchar_t text[MAX_PATH] = {};
  // Room for the quotes and " /start": a longer path is not registered half-written.
  if (executable.size() + 2 + 7 >= MAX_PATH) return {};
  executable.copy(text, executable.size());
  ::PathQuoteSpacesW(text);
  return std::wstring(text) + L" /start";
}

void EnableSideBar() {
  WriteSettingsDword(L"switch_flags", 1);
  const std::wstring text = AutoStartText(InstalledExecutable());
  if (text.empty()) return;
  ::SHSetValueW(HKEY_CURRENT_USER, kAutoStartKey, kAutoStartValue, REG_SZ, text.c_str(),
                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void EnableSideBarByUser() {
  EnableSideBar();
  if (IsStartupTurnedOff()) ::SHDeleteValueW(HKEY_CURRENT_USER, kStartupApprovedKey, kAutoStartValue);
}

void DisableSideBar() {
  WriteSettingsDword(L"switch_flags", 0);
  ::SHDeleteValueW(HKEY_CURRENT_USER, kAutoStartKey, kAutoStartValue);
}

bool IsAutoStartRegistered() {
  wchar_t value[261] = {};  // 520 bytes read, one more character for a terminator of our own
  DWORD type = REG_NONE, size = 520;
  if (::SHGetValueW(HKEY_CURRENT_USER, kAutoStartKey, kAutoStartValue, &type, value, &size) != ERROR_SUCCESS ||
      value[0] == L'\0') {
    return false;
  }
  const std::wstring executable = InstalledExecutable();
  return !executable.empty() && ::StrStrIW(value, executable.c_str()) != nullptr && !IsStartupTurnedOff();
}

bool IsTurnedOffStartupMark(DWORD type, const BYTE* data, DWORD size) {
  return type == REG_BINARY && size == kStartupMarkBytes && data && (data[0] & 1) != 0;
}

std::wstring DesktopDirectory() {
  wchar_t folder[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_DESKTOPDIRECTORY, /*fCreate=*/FALSE)) return {};
  return folder;
}

void CreateDesktopShortcut() {
  static const std::wstring desktop = DesktopDirectory();  // the desktop folder of this logon
  const std::wstring executable = InstalledExecutable();
  if (desktop.empty() || executable.empty() || !IsTrustedFile(executable)) return;
  (void)CreateShortcut(desktop, kDesktopShortcutName, L"/from=desktoplnk", executable, L"", 0);
}

bool HasDesktopShortcut() {
  const std::wstring desktop = DesktopDirectory();
  if (desktop.empty()) return false;
  const std::wstring shortcut = desktop + L"\\" + kDesktopShortcutName;
  if (::GetFileAttributesW(shortcut.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  std::wstring target, arguments;
  return ResolveShortcut(shortcut, &target, &arguments, kResolveFlags) &&
         ::lstrcmpiW(target.c_str(), InstalledExecutable().c_str()) == 0;
}

void DeleteDesktopShortcut() {
  const std::wstring desktop = DesktopDirectory();
  if (!desktop.empty()) (void)DeleteFileExactly(desktop, kDesktopShortcutName);
}

}  // namespace velmora
