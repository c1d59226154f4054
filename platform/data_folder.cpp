#include "platform/data_folder.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "platform/path_text.h"
#include "platform/shell_folder.h"
#include "platform/text.h"

namespace velmora {
namespace {

constexpr size_t kMaxFolderChars = MAX_PATH - 1;

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void EnsureFolder(const std::wstring& path) {
  // SHCreateDirectoryExW makes every missing parent too; it answers ERROR_ALREADY_EXISTS when
  // another thread won the race, which is as good as success for us.
  if (!path.empty() && !FolderExists(path)) ::SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
}

std::wstring ComputeDataFolder() {
  std::wstring folder;
  wchar_t buffer[MAX_PATH] = {};
  // The answer is the size needed (terminator included) when the buffer is too small, so only an
  // answer below the buffer size is the value.
  const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) folder.assign(buffer, length);
  if (folder.empty()) folder = GetShellFolder(CSIDL_APPDATA);
  if (folder.empty()) return {};
  folder = JoinPath(folder, kDataFolderName);
  if (folder.size() > kMaxFolderChars) return {};
  EnsureFolder(folder);
  return folder;
}

}  // namespace

std::wstring GetDataFolder() {
  // Never destroyed: workers may still ask while the process exits.
  static const std::wstring* const folder = new std::wstring(ComputeDataFolder());
  return *folder;
}

bool IsDataFolderPath(std::wstring_view folder) {
  folder = TrimTrailingSeparators(folder);
  const std::wstring_view name = kDataFolderName;
  if (folder.size() <= name.size() || !IsPathSeparator(folder[folder.size() - name.size() - 1])) return false;
  return EqualsIgnoreAsciiCase(folder.substr(folder.size() - name.size()), name);
}

std::wstring GetDataPath(std::wstring_view relative) {
  const std::wstring folder = GetDataFolder();
  if (folder.empty()) return {};
  const std::wstring relative_text(relative);
  // PathCombineW writes at most MAX_PATH characters; past that Windows answers nullptr and Wine an
  // empty buffer. Refusing such input first also spares older shlwapi versions an over-long file
  // part.
  if (folder.size() + 1 + relative_text.size() >= MAX_PATH) return {};
  wchar_t buffer[MAX_PATH] = {};
  if (::PathCombineW(buffer, folder.c_str(), relative_text.c_str()) == nullptr || buffer[0] == L'\0') return {};
  const std::wstring path(buffer);
  // PathCombineW resolves "..", and a rooted or absolute file part replaces the folder.
  if (!PathStartsWithIgnoreCase(path, folder) ||
      (path.size() > folder.size() && !IsPathSeparator(path[folder.size()]))) {
    return {};
  }
  std::wstring parent = path;
  RemoveTrailingElements(parent, 1);
  EnsureFolder(folder);
  EnsureFolder(parent);
  return path;
}

}  // namespace velmora
