#include "platform/suite_folder.h"

#include <windows.h>

#include "platform/module_path.h"
#include "platform/path_text.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace velmora {
namespace {

constexpr size_t kMaxFolderChars = MAX_PATH - 1;

constexpr wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Guardian.exe";
constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VuqTrevalis";

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

std::wstring SuiteFolderAboveProgram() {
  std::wstring folder = GetModulePath(nullptr);
  RemoveTrailingElements(folder, 2);
  return folder;
}

std::wstring GetSuiteFolder() {
  std::wstring folder = GetSuiteFolderFromRegistry();
  if (folder.empty()) folder = SuiteFolderAboveProgram();
  return folder;
}

bool FolderOccursInPath(std::wstring_view folder, std::wstring_view path) {
  if (folder.empty()) return false;
  std::wstring needle = AsciiLower(folder), haystack = AsciiLower(path);
  if (!IsPathSeparator(needle.back())) needle += L'\\';
  haystack += L'\\';
  return haystack.find(needle) != std::wstring::npos;
}

bool IsInSuiteFolder() { return FolderOccursInPath(GetSuiteFolder(), GetModulePath(nullptr)); }

}  // namespace velmora
