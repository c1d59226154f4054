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
  const std::optional<RegistryValue> mark = StartupApprovedRunKey().Value(kAutoStartValue);
  return mark && IsTurnedOffStartupMark(mark->type, mark->bytes.data(), static_cast<DWORD>(mark->bytes.size()));
}

}  // namespace

// Never destroyed, as the settings key's copy.
CWatchedKey& AutoStartRunKey() {
  static CWatchedKey* const key = new CWatchedKey(HKEY_CURRENT_USER, kAutoStartKey);
  return *key;
}

CWatchedKey& StartupApprovedRunKey() {
  static CWatchedKey* const key = new CWatchedKey(HKEY_CURRENT_USER, kStartupApprovedKey);
  return *key;
}

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
  AutoStartRunKey().Forget();
}

void EnableSideBarByUser() {
  EnableSideBar();
  if (IsStartupTurnedOff()) {
    ::SHDeleteValueW(HKEY_CURRENT_USER, kStartupApprovedKey, kAutoStartValue);
    StartupApprovedRunKey().Forget();
  }
}

void DisableSideBar() {
  WriteSettingsDword(L"switch_flags", 0);
  ::SHDeleteValueW(HKEY_CURRENT_USER, kAutoStartKey, kAutoStartValue);
  AutoStartRunKey().Forget();
}

bool IsAutoStartRegistered() {
  // At most 520 bytes of text are taken, as a fixed buffer of that size would (a longer value is
  // not ours); a text stored to be expanded is expanded.
  const std::optional<RegistryValue> stored = AutoStartRunKey().Value(kAutoStartValue);
  if (!stored || stored->bytes.size() > 520) return false;
  std::wstring value(reinterpret_cast<const wchar_t*>(stored->bytes.data()), stored->bytes.size() / sizeof(wchar_t));
  value.resize(wcsnlen(value.c_str(), value.size()));
  if (stored->type == REG_EXPAND_SZ) {
    wchar_t expanded[MAX_PATH * 2] = {};
    const DWORD length = ::ExpandEnvironmentStringsW(value.c_str(), expanded, MAX_PATH * 2);
    value = length && length <= MAX_PATH * 2 ? expanded : L"";
  }
  if (value.empty()) return false;
  const std::wstring executable = InstalledExecutable();
  return !executable.empty() && ::StrStrIW(value.c_str(), executable.c_str()) != nullptr && !IsStartupTurnedOff();
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
