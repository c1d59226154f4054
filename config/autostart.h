// The side bar switch with its autostart value, and the desktop shortcut to the installed
// program. Any thread; failures leave things as they were, quietly.
#pragma once

#include <string>

namespace velmora {

constexpr wchar_t kAutoStartKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kAutoStartValue[] = L"VuqVelmora";
constexpr wchar_t kDesktopShortcutName[] = L"VuqVelmora.lnk";

// "Utils\Velmora.exe" under the suite folder, computed afresh; empty when it does not fit
// MAX_PATH.
std::wstring InstalledExecutable();

// The autostart text for `executable`: quoted only when it has a space, then " /start". Empty
// when it would not fit MAX_PATH. Pure.
std::wstring AutoStartText(const std::wstring& executable);

// Switch on: switch_flags 1 and the autostart value. Switch off: switch_flags 0, no value.
void EnableSideBar();
void DisableSideBar();

// Whether the autostart value names the installed program (a case-insensitive substring).
bool IsAutoStartRegistered();

// The desktop shortcut "VuqVelmora.lnk" to the installed program with "/from=desktoplnk"; made
// only when the program passes the trust check.
void CreateDesktopShortcut();
// Whether the shortcut exists and resolves to the installed program.
bool HasDesktopShortcut();
void DeleteDesktopShortcut();

// The user's desktop folder (not created when missing); empty when unknown.
std::wstring DesktopDirectory();

}  // namespace velmora
