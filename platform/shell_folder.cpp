#include "platform/shell_folder.h"

#include <windows.h>
#include <shlobj.h>

namespace velmora {

std::wstring GetShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, /*fCreate=*/FALSE)) return {};
  return buffer;
}

}  // namespace velmora
