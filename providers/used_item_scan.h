// Where the commonly used items come from: the shell's UserAssist records (programs), the Office
// Recent folder, the Office File MRU lists and Kingsoft Office's recent files (documents). Each
// scan adds what it finds and skips what fails a test; a missing key or folder adds nothing.
// Any thread; COM is initialised per shortcut read.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "providers/used_items.h"

namespace velmora {

struct UsedItemSources {
  HKEY root = HKEY_CURRENT_USER;  // the registry keys below are read from here
  std::wstring app_data;          // holds "Microsoft\Office\Recent"; empty: %APPDATA% or the shell's
  DWORD major = 0;                // Windows version of the UserAssist layout; 0: the real one
  DWORD minor = 0;
  // Whether a drive ("C:") is an internal fixed disk; null: IsInternalFixedDisk.
  std::function<bool(const std::wstring&)> is_local_drive;
};

// Replaces a leading "{known-folder-id}" (up to the first "\" or "/") by the folder's path: the
// current user's when `default_user` is false, else the default user profile's, with the 64-bit
// program files folder taken from %ProgramW6432%. The text unchanged when the id is unknown.
std::wstring ResolveKnownFolderPrefix(const std::wstring& text, bool default_user);

// A reply target that begins with "%" (path macros) or "{" (known folder, default user).
std::wstring ResolveReplyTarget(const std::wstring& target);

// Both UserAssist keys of the Windows version, in order, into `programs`.
void ScanUserAssist(const UsedItemSources& sources, UsedItemList* programs);
// One UserAssist "Count" key below `sources.root`.
void ScanUserAssistKey(const UsedItemSources& sources, const std::wstring& subkey, UsedItemList* programs);

// The Office Recent folder's shortcuts, the Office File MRU lists of Word, Excel and PowerPoint,
// and Kingsoft Office's recent files, into `files`.
void ScanRecentDocuments(const UsedItemSources& sources, UsedItemList* files);

// Every source. The file tests look at the native system folder (NativeSystemPath); the items
// keep the paths as recorded.
void CollectUsedItems(const UsedItemSources& sources, UsedItemList* programs, UsedItemList* files);

}  // namespace velmora
