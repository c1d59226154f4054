#include "providers/tool_launcher.h"

#include <shlwapi.h>

#include <json/value.h>
#include <json/writer.h>

#include <algorithm>
#include <utility>

#include "config/tool_counters.h"
#include "platform/core_libraries.h"
#include "platform/launch.h"
#include "platform/module_path.h"
#include "platform/native_system_path.h"
#include "platform/once_value.h"
#include "platform/path_text.h"
#include "platform/process_facts.h"
#include "platform/registry.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "platform/version_compare.h"
#include "platform/version_info.h"

namespace velmora {
namespace {

constexpr int kShowCommand = 5;  // SW_SHOW
constexpr wchar_t kStickyNotesTarget[] = L"shell:appsFolder\\Microsoft.MicrosoftStickyNotes_8wekyb3d8bbwe!App";
constexpr wchar_t kStickyNotesPackage[] = L"Microsoft.MicrosoftStickyNotes";
constexpr const wchar_t* kPackageRegistrations[] = {
    L"SOFTWARE\\Classes\\ActivatableClasses\\Package",
    L"Software\\Classes\\Extensions\\ContractId\\Windows.Launch\\PackageId",
    L"Software\\Classes\\Extensions\\ContractId\\Windows.BackgroundTasks\\PackageId",
};
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr size_t kLongestKeyName = 255;
constexpr DWORD kUninstallValueMaxBytes = 520;
constexpr wchar_t kDesktopSearchNewArgument[] = L"1.0.0.1410";

// The plain open: HostKit's launch entry with no window, "open", no parameters, no directory.
// Starts nothing when the entry is missing.
void PlainOpen(const std::wstring& target) {
  (void)HostKitShellExecute(nullptr, L"open", target.c_str(), nullptr, nullptr, kShowCommand);
}

// `name` in the native system folder: for a 32-bit side bar on 64-bit Windows, the 64-bit
// calculator and the sticky notes, which only the native folder holds.
std::wstring SystemFolderPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return NativeSystemPath(JoinPath(folder, name));
}

bool ContainsIgnoreCase(std::wstring_view text, std::wstring_view part) {
  return AsciiLower(text).find(AsciiLower(part)) != std::wstring::npos;
}

bool KeyListsStickyNotes(const wchar_t* subkey) {
  ScopedRegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, subkey, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return false;
  for (const std::wstring& name : SubkeyNames(key.get(), 520)) {
    if (ContainsIgnoreCase(name, kStickyNotesPackage)) return true;
  }
  return false;
}

OnceValue<bool> g_windows10;

}  // namespace

const wchar_t kDesktopSearchUpdaterParameters[] =
    L"/updateid=VuqQuickFind /sectionid=VuqQuickFind /execarg=\"/only_root_search\"";

std::wstring ScreenCaptureParameters(const std::wstring& file) {
  return L"-file \"" + file +
         L"\" -format \"jpg\" -savetip \"\u590D\u5236\u5230\u526A\u5207\u677F\" -launcher desktop_lite_vip -cef Vuqdeskl";
}

std::wstring DesktopSearchParameters(std::wstring_view version) {
  return CompareVersions(version, kDesktopSearchNewArgument, VersionRelation::kGreaterOrEqual) ? L"/only_root_search"
                                                                                                 : L"/quickfind_start";
}

std::optional<InstalledKey> ParseInstalledKey(std::wstring_view text) {
  std::vector<std::wstring_view> parts;
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find(L"||", start), text.size());
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  if (parts.empty() || parts.size() > 2) return std::nullopt;
  const std::wstring_view key = parts[0];
  if (key.size() > kLongestKeyName || key == L"." || key == L".." ||
      key.find_first_of(std::wstring_view(L"\\/\0", 3)) != std::wstring_view::npos) {
    return std::nullopt;
  }
  InstalledKey parsed{std::wstring(key), {}};
  if (parts.size() == 2) {
    // A value name ends at a NUL for the registry: one with a NUL would read another value.
    if (parts[1].find(L'\0') != std::wstring_view::npos) return std::nullopt;
    parsed.value_name = std::wstring(parts[1]);
  }
  return parsed;
}

bool IsTerminatedRegistryString(const BYTE* data, DWORD bytes) {
  if (bytes == 0) return true;
  return bytes % sizeof(wchar_t) == 0 && data[bytes - 1] == 0 && data[bytes - 2] == 0;
}

bool IsWindows10OrLater() {
  return g_windows10.Get([] {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    return GetRealOSVersion(reinterpret_cast<OSVERSIONINFOW*>(&version)) && version.dwMajorVersion >= 10;
  });
}

bool HasStickyNotesPackage() {
  for (const wchar_t* subkey : kPackageRegistrations) {
    if (KeyListsStickyNotes(subkey)) return true;
  }
  return false;
}

bool ProbeUninstallEntry(HKEY root, REGSAM view, const InstalledKey& key) {
  ScopedRegKey uninstall;
  if (::RegOpenKeyExW(root, (kUninstallKey + key.key_name).c_str(), 0, KEY_READ | view, uninstall.receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  if (key.value_name.empty()) return true;
  BYTE data[kUninstallValueMaxBytes];
  DWORD bytes = sizeof(data), type = REG_NONE;
  if (::RegQueryValueExW(uninstall.get(), key.value_name.c_str(), nullptr, &type, data, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || !IsTerminatedRegistryString(data, bytes)) {
    return false;
  }
  const std::wstring path(reinterpret_cast<const wchar_t*>(data), bytes / sizeof(wchar_t) - (bytes ? 1 : 0));
  if (path.size() < 2 || !IsInternalFixedDisk(path.substr(0, 2))) return false;
  // The named path may lie in the 64-bit system folder.
  return ::PathFileExistsW(NativeSystemPath(path).c_str()) != FALSE;
}

std::string LocalTopJson() {
  Json::Value names(Json::arrayValue);
  for (const std::wstring& name : ListToolsByCount()) names.append(WideToUtf8(name));
  Json::Value envelope(Json::objectValue);
  envelope["code"] = 0;
  envelope["data"] = std::move(names);
  envelope["msg"] = "";
  return Json::FastWriter().write(envelope);
}

CToolLauncher::CToolLauncher(std::function<std::wstring()> suite_folder, std::function<bool()> windows10)
    : suite_folder_(std::move(suite_folder)), windows10_(std::move(windows10)) {}

std::wstring CToolLauncher::SuitePath(const wchar_t* relative) const {
  const std::wstring suite = suite_folder_ ? suite_folder_() : std::wstring();
  if (suite.empty()) return {};
  const std::wstring path = JoinPath(suite, relative);
  return path.size() < MAX_PATH ? path : std::wstring();
}

bool CToolLauncher::IsStickyNoteAvailable() {
  if (windows10_()) return HasStickyNotesPackage();
  return IsExistingFile(SystemFolderPath(L"StikyNot.exe"));
}

void CToolLauncher::LaunchStickyNote() {
  if (windows10_()) {
    PlainOpen(kStickyNotesTarget);
    return;
  }
  const std::wstring program = SystemFolderPath(L"StikyNot.exe");
  if (IsExistingFile(program)) PlainOpen(program);
}

void CToolLauncher::LaunchCalculator() {
  const std::wstring program = SystemFolderPath(L"calc.exe");
  if (IsExistingFile(program)) PlainOpen(program);
}

void CToolLauncher::LaunchScreenCapture() {
  const std::wstring tool = SuitePath(L"Utils\\SnapTool.exe");
  if (tool.empty() || !IsExistingFile(tool)) return;
  wchar_t temp[MAX_PATH] = {}, file[MAX_PATH] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH, temp);
  // GetTempFileNameW with 0 makes the empty file, under a name no other file has.
  if (length == 0 || length >= MAX_PATH || ::GetTempFileNameW(temp, L"VuqSC", 0, file) == 0) {
    (void)LaunchFile(tool, L"");  // nowhere to save: the tool asks the user itself
    return;
  }
  // A refused tool never sees the file: it is not left behind.
  if (!LaunchFile(tool, ScreenCaptureParameters(file))) ::DeleteFileW(file);
}

void CToolLauncher::LaunchDesktopSearch() {
  const std::wstring search = SuitePath(L"AppMgr\\QuickFind\\QuickFind.exe");
  if (!search.empty() && IsExistingFile(search)) {
    (void)LaunchFile(search, DesktopSearchParameters(GetFileVersionOrZero(search)));
    return;
  }
  const std::wstring updater = SuitePath(L"Utils\\ModUpdater.exe");
  if (!updater.empty() && IsExistingFile(updater)) (void)LaunchFile(updater, kDesktopSearchUpdaterParameters);
}

void CToolLauncher::LaunchFeedback(const std::wstring& command_line) {
  const std::wstring tool = SuitePath(L"\\Utils\\FeedbackTool.exe");
  if (!tool.empty() && IsExistingFile(tool)) ShellOpenFile(tool, command_line, kShowCommand);
}

bool CToolLauncher::IsInstalled(const std::wstring& key_text) {
  const std::optional<InstalledKey> key = ParseInstalledKey(key_text);
  if (!key) return false;
  if (ProbeUninstallEntry(HKEY_LOCAL_MACHINE, 0, *key)) return true;
  if (IsWow64() && ProbeUninstallEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, *key)) return true;
  return ProbeUninstallEntry(HKEY_CURRENT_USER, 0, *key);
}

void CToolLauncher::RecordToolUse(const std::wstring& tool_id) {
  if (!tool_id.empty()) IncrementToolCounter(tool_id);
}

std::string CToolLauncher::GetLocalTop() { return LocalTopJson(); }

}  // namespace velmora
