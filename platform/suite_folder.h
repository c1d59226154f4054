// Where the suite is installed: the folder its installer recorded in the registry, else the
// folder our own program file lies two levels below. Every function may be called from any
// thread and reads anew on every call. Failures come back as an empty string or false.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The suite's install folder: GetSuiteFolderFromRegistry(), else SuiteFolderAboveProgram() (we
// are installed in a subfolder of the suite). Empty when not even the program's own path can be
// had, and for the per-user copy (IsDataFolderPath) when no suite is registered: two folders
// above the copy is the user's application-data folder, which is no suite.
std::wstring GetSuiteFolder();

// GetSuiteFolder's choice for a program at `program_file` with the suite folder `registered` as
// recorded in the registry (possibly empty). Pure.
std::wstring ChooseSuiteFolder(const std::wstring& registered, const std::wstring& program_file);

// The suite's install folder as its installer recorded it: ReadSuiteFolderValue(MAX_PATH - 1),
// else HKLM "...\Uninstall\VuqTrevalis" value "InstallLocation" by the same rules. Empty when
// neither value is usable.
std::wstring GetSuiteFolderFromRegistry();

// HKLM "...\App Paths\Guardian.exe" value "Path", where the suite's installer records the suite
// folder, as stored (not expanded): a terminated REG_SZ or REG_EXPAND_SZ of at most `max_chars`
// characters. Empty when the value is missing, empty, of another type or longer.
std::wstring ReadSuiteFolderValue(size_t max_chars);

// The folder two levels above our own program file. Empty when the program's path cannot be had.
std::wstring SuiteFolderAboveProgram();

// Whether `folder` with a trailing backslash occurs, without regard to ASCII case, in `path` with a
// trailing backslash: a "\\?\" form of the path counts, a folder that merely starts the same
// way does not. False for an empty folder. Pure.
bool FolderOccursInPath(std::wstring_view folder, std::wstring_view path);

// FolderOccursInPath(GetSuiteFolder(), our program file).
bool IsInSuiteFolder();

}  // namespace velmora
