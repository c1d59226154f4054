#include "platform/native_system_path.h"

#include <windows.h>

#include <utility>

#include "platform/once_value.h"
#include "platform/path_text.h"
#include "platform/process_facts.h"

namespace velmora {
namespace {

struct SystemFolderSpellings {
  std::wstring system;  // empty: nothing is respelled
  std::wstring native;
};

OnceValue<SystemFolderSpellings> g_spellings;

SystemFolderSpellings ReadSpellings() {
  SystemFolderSpellings spellings;
  if (!IsWow64()) return spellings;
  wchar_t system[MAX_PATH] = {};
  wchar_t windows[MAX_PATH] = {};
  const UINT system_length = ::GetSystemDirectoryW(system, MAX_PATH);
  const UINT windows_length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (system_length == 0 || system_length >= MAX_PATH || windows_length == 0 || windows_length >= MAX_PATH) {
    return spellings;
  }
  spellings.native = JoinPath(std::wstring_view(windows, windows_length), L"Sysnative");
  spellings.system.assign(TrimTrailingSeparators(std::wstring_view(system, system_length)));
  return spellings;
}

}  // namespace

std::wstring RespellSystemFolder(std::wstring_view path, std::wstring_view system_folder,
                                 std::wstring_view native_folder) {
  if (system_folder.empty() || path.size() < system_folder.size() ||
      (path.size() > system_folder.size() && !IsPathSeparator(path[system_folder.size()]))) {
    return std::wstring(path);
  }
  std::wstring head(path.substr(0, system_folder.size()));
  for (wchar_t& c : head) {
    if (c == L'/') c = L'\\';
  }
  if (!PathEqualsIgnoreCase(head, system_folder)) return std::wstring(path);
  return std::wstring(native_folder) + std::wstring(path.substr(system_folder.size()));
}

std::wstring NativeSystemPath(const std::wstring& path) {
  const SystemFolderSpellings& spellings = g_spellings.Get(&ReadSpellings);
  return RespellSystemFolder(path, spellings.system, spellings.native);
}

unsigned long NativeFileAttributes(const std::wstring& path) {
  return ::GetFileAttributesW(NativeSystemPath(path).c_str());
}

}  // namespace velmora
