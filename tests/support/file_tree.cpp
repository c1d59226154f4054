#include "tests/support/file_tree.h"

#include <windows.h>

#include <fstream>

namespace velmora::test {

std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

void DeleteTree(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW(Long(folder + L"\\*").c_str(), &data);
  for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &data)) {
    const std::wstring name = data.cFileName, child = folder + L"\\" + name;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) DeleteTree(child);
    ::DeleteFileW(Long(child).c_str());
  }
  if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
  ::RemoveDirectoryW(Long(folder).c_str());
}

bool CopyTree(const std::wstring& from, const std::wstring& to) {
  ::CreateDirectoryW(Long(to).c_str(), nullptr);
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW(Long(from + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (BOOL more = TRUE; more; more = ::FindNextFileW(find, &data)) {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = CopyTree(from + L"\\" + name, to + L"\\" + name) && ok;
    } else {
      ok = ::CopyFileW(Long(from + L"\\" + name).c_str(), Long(to + L"\\" + name).c_str(), FALSE) && ok;
    }
  }
  ::FindClose(find);
  return ok;
}

void FlipMiddleByte(const std::wstring& path) {
  std::fstream file(path.c_str(), std::ios::in | std::ios::out | std::ios::binary);
  file.seekg(0, std::ios::end);
  const std::streamoff middle = file.tellg() / 2;
  char byte = 0;
  file.seekg(middle);
  file.read(&byte, 1);
  byte = static_cast<char>(byte ^ 0x5A);
  file.seekp(middle);
  file.write(&byte, 1);
}

}  // namespace velmora::test
