#include "platform/suite_folder.h"

#include <windows.h>

#include "platform/data_folder.h"
#include "platform/module_path.h"
#include "platform/path_text.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace velmora {
namespace {

constexpr size_t kMaxFolderChars = MAX_PATH - 1;

constexpr wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Guardian.exe";
constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VuqTrevalis";

std::wstring TwoFoldersAbove(std::wstring path) {
  RemoveTrailingElements(path, 2);
  return path;
}

}  // namespace

std::wstring ReadSuiteFolderValue(size_t max_chars) {
  return QueryRegistryString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"Path", max_chars).value_or(std::wstring());
}

std::wstring GetSuiteFolderFromRegistry() {
  std::wstring folder = ReadSuiteFolderValue(kMaxFolderChars);
  if (folder.empty()) {
    folder = QueryRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation", kMaxFolderChars)
                 .value_or(std::wstring());
  }
  return folder;
}

std::wstring SuiteFolderAboveProgram() { return TwoFoldersAbove(GetModulePath(nullptr)); }

std::wstring ChooseSuiteFolder(const std::wstring& registered, const std::wstring& program_file) {
  if (!registered.empty()) return registered;
  if (IsDataFolderPath(ParentFolder(program_file))) return std::wstring();
  return TwoFoldersAbove(program_file);
}

std::wstring GetSuiteFolder() { return ChooseSuiteFolder(GetSuiteFolderFromRegistry(), GetModulePath(nullptr)); }

bool FolderOccursInPath(std::wstring_view folder, std::wstring_view path) {
  if (folder.empty()) return false;
  std::wstring needle = AsciiLower(folder), haystack = AsciiLower(path);
  if (!IsPathSeparator(needle.back())) needle += L'\\';
  haystack += L'\\';
  return haystack.find(needle) != std::wstring::npos;
}

bool IsInSuiteFolder() { return FolderOccursInPath(GetSuiteFolder(), GetModulePath(nullptr)); }

}  // namespace velmora
