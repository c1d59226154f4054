// What a path written with folder macros ("CSIDL_APPDATA\x", "%Safe%\Utils",
// "HKLM\key||value||file") means on this machine. Every function may be called from any thread.
// Failures come back as the input unchanged, 0 or nullptr, as each function says.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace velmora {

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

// The folder id of a macro name, compared after trimming white space and ASCII upper-casing:
// the shell's CSIDL number (1..359), one of our own ids (364 public, 365 system drive,
// 366 LocalLow, 367 two levels above the program), or 0 when `name` is no macro.
int FolderMacroId(std::wstring_view name);

// HKEY_LOCAL_MACHINE for "HKLM"/"HKEY_LOCAL_MACHINE", likewise HKCU, HKCR and "HKUS"/"HKEY_USERS"
// (ASCII case-insensitive); nullptr for any other name.
HKEY RegistryRootFromName(std::wstring_view name);

}  // namespace velmora
