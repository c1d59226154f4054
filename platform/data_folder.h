// Where our per-user files live: %APPDATA%\Vuqsafe\Velmora and the paths inside it. Every
// function may be called from any thread. Failures come back as an empty string.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// %APPDATA%\Vuqsafe\Velmora (the shell's roaming application-data folder when APPDATA is unset or
// does not fit MAX_PATH), created on first use. Worked out once per process; later changes to
// APPDATA are not seen. Empty when no application-data folder is known or the result would not
// fit MAX_PATH.
std::wstring GetDataFolder();

// The data folder's own part below the application-data folder.
inline constexpr wchar_t kDataFolderName[] = L"Vuqsafe\\Velmora";

// True when `folder` (a full path, trailing separators ignored) ends in "\Vuqsafe\Velmora",
// compared without regard to ASCII case: a folder of the kind the per-user copy runs from, which
// the user's processes can write. Pure.
bool IsDataFolderPath(std::wstring_view folder);

// GetDataFolder() combined with `relative` by PathCombineW; the data folder and the folder that
// holds the result are created when missing. Empty when the data folder is unknown, when the
// result would not fit MAX_PATH, or when `relative` leads out of the data folder (rooted,
// absolute or climbing with "..").
std::wstring GetDataPath(std::wstring_view relative);

}  // namespace velmora
