// The side bar switch with its autostart value, and the desktop shortcut to the installed
// program. Any thread; failures leave things as they were, quietly.
#pragma once

#include <windows.h>

#include <string>

#include "platform/registry_watch.h"

namespace velmora {

constexpr wchar_t kAutoStartKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kAutoStartValue[] = L"VuqVelmora";
// Where Windows (8 and later) keeps the user's own start-up choice for a Run value of that name,
// as Task Manager's start-up list sets it.
constexpr wchar_t kStartupApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr wchar_t kDesktopShortcutName[] = L"VuqVelmora.lnk";

// The two keys above, answered from copies in memory until they change (platform/registry_watch.h):
// another process's change reaches the next answer within milliseconds; a writer in this process
// other than the functions below forgets the copy after writing.
CWatchedKey& AutoStartRunKey();
CWatchedKey& StartupApprovedRunKey();

// "Utils\Velmora.exe" under the suite folder, computed afresh; empty when it does not fit
// MAX_PATH.
std::wstring InstalledExecutable();

// The autostart text for `executable`: quoted only when it has a space, then " /start". Empty
// when it would not fit MAX_PATH. Pure.
std::wstring AutoStartText(const std::wstring& executable);

// Switch on: switch_flags 1 and the autostart value. Switch off: switch_flags 0, no value. An
// install switches on without touching the user's start-up choice.
void EnableSideBar();
void DisableSideBar();
// Switch on as the user's own choice (the page, the accepted promotion prompt): also clears a
// turned-off start-up mark, this choice being the newer one.
void EnableSideBarByUser();

// Whether the autostart value names the installed program (a case-insensitive substring) and the
// user has not turned it off in the start-up list.
bool IsAutoStartRegistered();

// Whether a start-up mark (type, bytes) says turned off: 12 binary bytes, the first with its
// lowest bit set (3, 7), the time of the change after them. Any other mark reads as on. Pure.
bool IsTurnedOffStartupMark(DWORD type, const BYTE* data, DWORD size);

// The desktop shortcut "VuqVelmora.lnk" to the installed program with "/from=desktoplnk"; made
// only when the program passes the trust check.
void CreateDesktopShortcut();
// Whether the shortcut exists and resolves to the installed program.
bool HasDesktopShortcut();
void DeleteDesktopShortcut();

// The user's desktop folder (not created when missing); empty when unknown.
std::wstring DesktopDirectory();

}  // namespace velmora
