// Shell links: writing one, and reading one's target the way the shell would start it.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// Writes a shortcut "folder\file_name" to `target` with `arguments`, the target's folder as
// working directory and, when given, an icon. False when nothing was written.
[[nodiscard]] bool CreateShortcut(const std::wstring& folder, const std::wstring& file_name,
                                  const std::wstring& arguments, const std::wstring& target,
                                  const std::wstring& icon_path, int icon_index);

// Reads a shortcut's target (and arguments when asked): installer shortcuts first, then the shell
// link. `target` and `arguments` are untouched on failure.
[[nodiscard]] bool ResolveShortcut(const std::wstring& shortcut, std::wstring* target, std::wstring* arguments,
                                   DWORD flags);

// Reads a shortcut's icon location (at most MAX_PATH characters) and index, unexpanded. False
// when the shortcut cannot be loaded or names no icon; `location` and `index` are untouched then.
[[nodiscard]] bool ReadShortcutIconLocation(const std::wstring& shortcut, std::wstring* location, int* index);

}  // namespace velmora
