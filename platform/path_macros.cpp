#include "platform/path_macros.h"

#include <shlobj.h>

#include <algorithm>
#include <climits>
#include <optional>

#include "platform/path_text.h"
#include "platform/registry.h"
#include "platform/shell_folder.h"
#include "platform/suite_folder.h"
#include "platform/text.h"

namespace velmora {
namespace {

// Limits on what we read, in characters without the terminator.
constexpr size_t kMaxRegistryMacroText = 1023;
constexpr size_t kMaxElementText = 1024;  // an expanded element before "|-N" trims it

constexpr int kMaxShellFolderId = 359;
constexpr int kFolderPublic = 364;
constexpr int kFolderSystemDrive = 365;
constexpr int kFolderLocalLow = 366;
constexpr int kFolderSuiteByProgram = 367;

struct FolderMacro {
  std::wstring_view name;
  int id;
};

constexpr FolderMacro kFolderMacros[] = {
    {L"CSIDL_STARTUP", CSIDL_STARTUP},
    {L"CSIDL_COMMON_STARTUP", CSIDL_COMMON_STARTUP},
    {L"CSIDL_DESKTOPFOLDER", CSIDL_DESKTOPDIRECTORY},
    {L"CSIDL_DESKTOPDIRECTORY", CSIDL_DESKTOPDIRECTORY},
    {L"CSIDL_COMMON_DESKTOPDIRECTORY", CSIDL_COMMON_DESKTOPDIRECTORY},
    {L"CSIDL_HISTORY", CSIDL_HISTORY},
    {L"CSIDL_INTERNET_CACHE", CSIDL_INTERNET_CACHE},
    {L"CSIDL_COOKIES", CSIDL_COOKIES},
    {L"CSIDL_APPDATA", CSIDL_APPDATA},
    {L"CSIDL_MYDOCUMENTS", CSIDL_PERSONAL},
    {L"CSIDL_PERSONAL", CSIDL_PERSONAL},
    {L"CSIDL_COMMON_PROGRAMS", CSIDL_COMMON_PROGRAMS},
    {L"CSIDL_FONTS", CSIDL_FONTS},
    {L"CSIDL_SYSTEM", CSIDL_SYSTEM},
    {L"CSIDL_SYSTEMX86", CSIDL_SYSTEMX86},
    {L"CSIDL_SYSTEM32", CSIDL_SYSTEM},
    {L"SYSTEM32", CSIDL_SYSTEM},
    {L"\\SYSTEM32", CSIDL_SYSTEM},
    {L"CSIDL_WINDOWS", CSIDL_WINDOWS},
    {L"WINDIR", CSIDL_WINDOWS},
    {L"CSIDL_PROGRAM_FILES_COMMON", CSIDL_PROGRAM_FILES_COMMON},
    {L"CSIDL_PROGRAM_FILES_COMMONX86", CSIDL_PROGRAM_FILES_COMMONX86},
    {L"CSIDL_COMMON_APPDATA", CSIDL_COMMON_APPDATA},
    {L"CSIDL_COMMON_DOCUMENTS", CSIDL_COMMON_DOCUMENTS},
    {L"CSIDL_PROGRAM_FILES", CSIDL_PROGRAM_FILES},
    {L"CSIDL_PROGRAM_FILESX86", CSIDL_PROGRAM_FILESX86},
    {L"CSIDL_LOCAL_APPDATA", CSIDL_LOCAL_APPDATA},
    {L"CSIDL_PUBLIC", kFolderPublic},
    {L"CSIDL_FAVORITES", CSIDL_FAVORITES},
    {L"CSIDL_PROFILE", CSIDL_PROFILE},
    {L"CSIDL_PROGRAMS", CSIDL_PROGRAMS},
    {L"CSIDL_LOCALLOW", kFolderLocalLow},
    {L"CSIDL_STARTMENU", CSIDL_STARTMENU},
    {L"CSIDL_COMMON_STARTMENU", CSIDL_COMMON_STARTMENU},
    {L"CSIDL_SENDTO", CSIDL_SENDTO},
    {L"SYSTEMROOT", CSIDL_WINDOWS},
    {L"\\SYSTEMROOT", CSIDL_WINDOWS},
    {L"CSIDL_SYSROOTDIR", kFolderSystemDrive},
    {L"CSIDL_VUQSAFE", kFolderSuiteByProgram},
};

std::wstring OwnFolder(int id) {
  std::wstring folder;
  switch (id) {
    case kFolderPublic:
      folder = GetShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
      RemoveTrailingElements(folder, 1);
      break;
    case kFolderSystemDrive:
      folder = GetShellFolder(CSIDL_WINDOWS);
      RemoveTrailingElements(folder, 1);
      folder.resize(TrimTrailingSeparators(folder).size());  // "C:\" -> "C:"
      break;
    case kFolderLocalLow:
      folder = GetShellFolder(CSIDL_LOCAL_APPDATA);
      RemoveTrailingElements(folder, 1);
      if (!folder.empty()) folder = JoinPath(folder, L"locallow");
      break;
    case kFolderSuiteByProgram:
      folder = SuiteFolderAboveProgram();
      break;
    default:
      break;
  }
  return folder;
}

// The environment expansion of `text`, or nothing when it does not fit MAX_PATH or names no
// variable that is set (ExpandEnvironmentStringsW leaves unknown "%NAME%" as written).
std::optional<std::wstring> ExpandEnvironment(std::wstring_view text) {
  const std::wstring source(text);
  wchar_t buffer[MAX_PATH] = {};
  // The answer counts the terminator, and is the size needed when the buffer is too small.
  const DWORD needed = ::ExpandEnvironmentStringsW(source.c_str(), buffer, MAX_PATH);
  if (needed == 0 || needed > MAX_PATH) return std::nullopt;
  std::wstring expanded(buffer);
  if (expanded == source) return std::nullopt;
  return expanded;
}

// The expansion of a first element's name; nothing when the name is no macro (the path then
// stays as written). A macro that does not expand (an unset or over-long variable, a folder the
// system cannot find) stands for itself, so "|-N" still applies to its text.
std::optional<std::wstring> ExpandElementName(std::wstring_view name) {
  if (!name.empty() && name.front() == L'%') {
    if (EqualsIgnoreAsciiCase(name, L"%VuqSafe%") || EqualsIgnoreAsciiCase(name, L"%Safe%")) {
      return GetSuiteFolderFromRegistry();  // Empty when the suite is not registered.
    }
    return ExpandEnvironment(name).value_or(std::wstring(name));
  }
  const int id = FolderMacroId(name);
  if (id == 0) return std::nullopt;
  std::wstring folder = id <= kMaxShellFolderId ? GetShellFolder(id) : OwnFolder(id);
  if (folder.empty()) return std::wstring(name);
  return folder;
}

// The "N" of "element|N": an optional sign and decimal digits, anything else 0.
long long ParseElementNumber(std::wstring_view text) {
  text = TrimWhitespace(text);
  const bool negative = !text.empty() && text.front() == L'-';
  if (!text.empty() && (text.front() == L'-' || text.front() == L'+')) text.remove_prefix(1);
  if (text.empty()) return 0;
  long long value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return 0;
    value = std::min<long long>(value * 10 + (c - L'0'), INT_MAX);
  }
  return negative ? -value : value;
}

// Replaces `path` by the registry value it names. False when `path` has the registry form but
// nothing usable can be read. A path without "||" is not a registry reference and stays as it is.
bool ExpandRegistryMacro(std::wstring& path) {
  const std::wstring_view whole(path);
  const size_t first_bar = whole.find(L"||");
  if (first_bar == std::wstring_view::npos) return true;
  const std::wstring_view key_part = whole.substr(0, first_bar);
  const std::wstring_view after = whole.substr(first_bar + 2);
  const size_t second_bar = after.find(L"||");
  const std::wstring value_name(after.substr(0, second_bar));
  const std::wstring_view more =
      second_bar == std::wstring_view::npos ? std::wstring_view() : after.substr(second_bar + 2);

  const size_t slash = key_part.find(L'\\');
  const HKEY root = RegistryRootFromName(key_part.substr(0, slash));
  if (root == nullptr) return false;
  const std::wstring subkey(slash == std::wstring_view::npos ? std::wstring_view() : key_part.substr(slash + 1));
  std::wstring value = QueryRegistryString(root, subkey, value_name, kMaxRegistryMacroText).value_or(std::wstring());
  if (value.empty()) return false;
  // Nothing more to append leaves the value as it was read, without a separator added.
  path = TrimLeadingSeparators(more).empty() ? std::move(value) : JoinPath(value, more);
  return true;
}

}  // namespace

int FolderMacroId(std::wstring_view name) {
  const std::wstring key = AsciiUpper(TrimWhitespace(name));
  for (const FolderMacro& macro : kFolderMacros) {
    if (macro.name == key) return macro.id;
  }
  return 0;
}

HKEY RegistryRootFromName(std::wstring_view name) {
  if (EqualsIgnoreAsciiCase(name, L"HKLM") || EqualsIgnoreAsciiCase(name, L"HKEY_LOCAL_MACHINE")) {
    return HKEY_LOCAL_MACHINE;
  }
  if (EqualsIgnoreAsciiCase(name, L"HKCU") || EqualsIgnoreAsciiCase(name, L"HKEY_CURRENT_USER")) {
    return HKEY_CURRENT_USER;
  }
  if (EqualsIgnoreAsciiCase(name, L"HKCR") || EqualsIgnoreAsciiCase(name, L"HKEY_CLASSES_ROOT")) {
    return HKEY_CLASSES_ROOT;
  }
  if (EqualsIgnoreAsciiCase(name, L"HKUS") || EqualsIgnoreAsciiCase(name, L"HKEY_USERS")) return HKEY_USERS;
  return nullptr;
}

std::wstring ExpandPathMacros(std::wstring_view input) {
  std::wstring path(input);
  if (StartsWithIgnoreAsciiCase(path, L"HK") && !ExpandRegistryMacro(path)) return std::wstring(input);

  for (size_t at = path.find(L"\\??\\"); at != std::wstring::npos; at = path.find(L"\\??\\")) path.erase(at, 4);
  // One leading backslash goes ("\SystemRoot\..." names the Windows folder), but not the first of
  // a "\\server\share" path.
  if (!path.empty() && path.front() == L'\\' && (path.size() < 2 || path[1] != L'\\')) path.erase(0, 1);
  if (!path.empty() && path.front() == L'"') {
    const size_t close = path.find(L'"', 1);
    if (close != std::wstring::npos) path = path.substr(1, close - 1);
  }

  const size_t separator = path.find_first_of(L"\\/");
  const std::wstring_view whole(path);
  const std::wstring_view element = whole.substr(0, separator);
  std::wstring_view rest = separator == std::wstring_view::npos ? std::wstring_view() : whole.substr(separator);
  const size_t bar = element.find(L'|');
  const std::wstring_view name = TrimWhitespace(element.substr(0, bar));
  const long long number = bar == std::wstring_view::npos ? 0 : ParseElementNumber(element.substr(bar + 1));

  std::optional<std::wstring> expanded = ExpandElementName(name);
  if (!expanded) return path;
  if (number < 0) {
    if (expanded->size() > kMaxElementText) expanded->resize(kMaxElementText);
    RemoveTrailingElements(*expanded, static_cast<unsigned>(-number));
  }
  // "C:\" from "CSIDL_WINDOWS|-1" followed by "\Temp" must not give "C:\\Temp".
  if (!expanded->empty() && IsPathSeparator(expanded->back()) && !rest.empty() && IsPathSeparator(rest.front())) {
    rest.remove_prefix(1);
  }
  expanded->append(rest);
  return *expanded;
}

}  // namespace velmora
