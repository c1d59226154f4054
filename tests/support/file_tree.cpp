#include "tests/support/file_tree.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <iterator>

#include "platform/module_path.h"
#include "platform/text.h"

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

std::string ReadAll(const std::wstring& path) {
  std::ifstream file(Long(path).c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::wstring TestProgramFile(const std::wstring& relative) {
  return ParentFolder(GetModulePath(nullptr)) + L"\\" + relative;
}

std::wstring BuiltSuiteFile(const std::wstring& relative) {
  return ParentFolder(ParentFolder(GetModulePath(nullptr))) + L"\\suite\\" + relative;
}

void CreateFolders(const std::wstring& path) {
  for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    ::CreateDirectoryW(Long(path.substr(0, at)).c_str(), nullptr);
  }
}

bool WriteAll(const std::wstring& path, std::string_view bytes) {
  CreateFolders(path);
  std::ofstream file(Long(path).c_str(), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file.good();
}

TempFolder::TempFolder(const wchar_t* prefix) {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  path_ = FormatW(L"%ls%ls%lu_%d", temp, prefix, ::GetCurrentProcessId(), ++counter);
  DeleteTree(path_);  // Wine reuses process ids: an earlier run's folder may have this name
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

}  // namespace velmora::test
