#include "platform/exact_path.h"

#include <optional>

#include "platform/module_path.h"
#include "platform/path_text.h"
#include "platform/scoped_handle.h"

namespace velmora {
namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";

}  // namespace

std::wstring FinalPathOf(HANDLE handle) {
  std::wstring path(kLongestPathChars + 1, L'\0');
  const DWORD length = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= path.size()) return {};
  path.resize(length);
  if (path.compare(0, kLongPrefix.size(), kLongPrefix) == 0) path.erase(0, kLongPrefix.size());
  return path;
}

bool IsSameFileName(std::wstring_view expected, std::wstring_view opened) {
  if (opened.substr(0, kLongPrefix.size()) == kLongPrefix) opened.remove_prefix(kLongPrefix.size());
  const std::optional<std::wstring> a = CanonicalLocalPath(expected, kLongestPathChars);
  const std::optional<std::wstring> b = CanonicalLocalPath(opened, kLongestPathChars);
  return a && b && PathEqualsIgnoreCase(*a, *b);
}

bool OpensExactly(HANDLE file, const std::wstring& path) {
  const std::wstring opened = FinalPathOf(file);
  if (!opened.empty() || path.size() < MAX_PATH) return IsSameFileName(path, opened);
  // Some systems give no final path beyond MAX_PATH characters: the folder that holds the file
  // (a data folder fits MAX_PATH) must then be the one named.
  const std::wstring folder = ParentFolder(path);
  ScopedFileHandle held(::CreateFileW((std::wstring(kLongPrefix) + folder).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return held && IsSameFileName(folder, FinalPathOf(held.get()));
}

bool DeleteFileExactly(const std::wstring& folder, const std::wstring& relative) {
  ScopedFileHandle base(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!base) return false;
  const std::wstring resolved = FinalPathOf(base.get());
  const std::optional<std::wstring> path = CanonicalLocalPath(JoinPath(resolved, relative), kLongestPathChars);
  // ".." in `relative` may not lead out of the folder.
  if (resolved.empty() || !path || !PathStartsWithIgnoreCase(*path, JoinPath(resolved, L""))) return false;
  const std::wstring name = path->size() < MAX_PATH ? *path : std::wstring(kLongPrefix) + *path;
  ScopedFileHandle file(::CreateFileW(name.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      !IsSameFileName(*path, FinalPathOf(file.get()))) {
    return false;
  }
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

}  // namespace velmora
