// Where the suite is installed, where our per-user files live, and what a path written with
// folder macros ("CSIDL_APPDATA\x", "%Safe%\Utils", "HKLM\key||value||file") means on this machine.
// Every function may be called from any thread. Failures come back as an empty string or false.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace velmora {

// The suite's install folder: GetSuiteFolderFromRegistry(), else the folder two levels above our
// own program file (we are installed in a subfolder of the suite). Read anew on every call.
// Empty only when not even the program's own path can be had.
std::wstring GetSuiteFolder();

// The suite's install folder as its installer recorded it: HKLM "...\App Paths\Guardian.exe"
// value "path", else HKLM "...\Uninstall\VuqTrevalis" value "InstallLocation". Only a
// terminated REG_SZ or REG_EXPAND_SZ of at most MAX_PATH - 1 characters counts; an empty one falls
// through. Empty when neither value is usable.
std::wstring GetSuiteFolderFromRegistry();

// HKLM "...\App Paths\Guardian.exe" value "Path", where the suite's installer records the suite
// folder, as stored (not expanded): a terminated REG_SZ or REG_EXPAND_SZ of at most `max_chars`
// characters. Empty when the value is missing, empty, of another type or longer. Read anew on
// every call.
std::wstring ReadSuiteFolderValue(size_t max_chars);

// %APPDATA%\Vuqsafe\Velmora (the shell's roaming application-data folder when APPDATA is unset or
// does not fit MAX_PATH), created on first use. Worked out once per process; later changes to
// APPDATA are not seen. Empty when no application-data folder is known or the result would not
// fit MAX_PATH.
std::wstring GetDataFolder();

// GetDataFolder() combined with `relative` by PathCombineW; the data folder and the folder that
// holds the result are created when missing. Empty when the data folder is unknown, when the
// result would not fit MAX_PATH, or when `relative` leads out of the data folder (rooted,
// absolute or climbing with "..").
std::wstring GetDataPath(std::wstring_view relative);

// Expands the macros of `path`:
//   "HKxx\subkey||value[||more]"  a string value of at most 1023 characters (not expanded), with
//                                 `more` appended; when nothing can be read, `path` comes back
//                                 unchanged;
//   first element "%Safe%" or "%VuqSafe%"  GetSuiteFolderFromRegistry() (possibly empty);
//   first element "%NAME%..."     environment expansion (result of at most MAX_PATH - 1);
//   first element a folder macro  the folder (see FolderMacroId);
//   "element|-N"                  the expanded element with its last N elements removed.
// "\??\" is removed everywhere, one leading "\" is dropped (not from a "\\server" path), and of a
// quoted program followed by arguments only the quoted path is kept. A first element that does
// not expand stays as written.
std::wstring ExpandPathMacros(std::wstring_view path);

// Whether our program file lies inside GetSuiteFolder() (case-insensitive, whole folder names).
bool IsInSuiteFolder();

// The folder id of a macro name, compared after trimming white space and ASCII upper-casing:
// the shell's CSIDL number (1..359), one of our own ids (364 public, 365 system drive,
// 366 LocalLow, 367 two levels above the program), or 0 when `name` is no macro.
int FolderMacroId(std::wstring_view name);

// HKEY_LOCAL_MACHINE for "HKLM"/"HKEY_LOCAL_MACHINE", likewise HKCU, HKCR and "HKUS"/"HKEY_USERS"
// (ASCII case-insensitive); nullptr for any other name.
HKEY RegistryRootFromName(std::wstring_view name);

}  // namespace velmora
