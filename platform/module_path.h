// Full path of a loaded module, without the MAX_PATH cut.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// The path of `module` (null: the program). Empty on failure.
std::wstring GetModulePath(HMODULE module);

// "<system folder>\<name>": where system DLLs are loaded from by full path. Empty on failure.
std::wstring SystemFolderFile(const wchar_t* name);

// The folder part of a path, without the trailing separator ("C:\a\b.exe" -> "C:\a").
std::wstring ParentFolder(const std::wstring& path);

// True when `path` names an existing file (not a folder).
bool IsExistingFile(const std::wstring& path);

}  // namespace velmora
