// Reaching a file by its path without being led elsewhere on the way: an elevated process that
// deletes or writes files in the user's own folders would otherwise follow a junction or link the
// user planted there onto another file, with the administrator's rights.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace velmora {

// The final path of the file or folder open as `handle` (GetFinalPathNameByHandleW), without the
// "\\?\" before it; empty when the system cannot say.
std::wstring FinalPathOf(HANDLE handle);

// Whether `opened`, the final path of a handle, is the file `expected` names: equal without regard
// to case once both are in their long canonical form. Pure.
bool IsSameFileName(std::wstring_view expected, std::wstring_view opened);

// Whether `file`, opened by `path`, is the file `path` names: no junction or link on the way
// (IsSameFileName of `path` and the handle's final path; where the system gives no final path
// beyond MAX_PATH characters, of the folder holding it).
bool OpensExactly(HANDLE file, const std::wstring& path);

// Deletes the file `relative` (one or more names, "\"-separated) below `folder` only when that
// very file is reached: `folder` is taken as it resolves (it may itself be a link, as a user's
// Desktop under Wine is, or a redirected folder), but nothing between it and the file may lead
// elsewhere (no junction or link on the way: the final path must be the folder's followed by
// `relative`), a link at the file itself is deleted as the link, and the deletion goes through
// the handle that was checked. False, with nothing deleted, otherwise (a folder, a missing file,
// another file on the way). Any thread.
bool DeleteFileExactly(const std::wstring& folder, const std::wstring& relative);

}  // namespace velmora
