#include "config/app_config.h"

#include <objbase.h>
#include <msi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <iterator>

#include "config/config_rules.h"
#include "config/time_rules.h"
#include "platform/module_path.h"
#include "platform/scoped_handle.h"
#include "platform/suite_folder.h"
#include "platform/system_functions.h"
#include "platform/text.h"
#include "platform/trust.h"

namespace velmora {
namespace {

constexpr DWORD kResolveFlags = 0x11;  // SLR_NO_UI | SLR_NOSEARCH

template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  Interface* operator->() const { return p_; }
  Interface* get() const { return p_; }
  void** receive() { return reinterpret_cast<void**>(&p_); }

 private:
  Interface* p_ = nullptr;
};

class ScopedCoInit {
 public:
  ScopedCoInit() : result_(::CoInitialize(nullptr)) {}
  ~ScopedCoInit() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ScopedCoInit(const ScopedCoInit&) = delete;
  ScopedCoInit& operator=(const ScopedCoInit&) = delete;

 private:
  HRESULT result_;
};

// The Windows Installer's view of an advertised shortcut: the component's local path, when the
// shortcut is one of its own and the component is installed locally. msi.dll is loaded only for
// this, from the system folder.
std::optional<std::wstring> ResolveInstallerShortcut(const std::wstring& shortcut) {
  using GetShortcutTargetFn = UINT(WINAPI*)(LPCWSTR, LPWSTR, LPWSTR, LPWSTR);
  using GetComponentPathFn = INSTALLSTATE(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD);
  ScopedLibrary msi(::LoadLibraryW(SystemFolderFile(L"msi.dll").c_str()));
  auto get_target = GetProcAddressAs<GetShortcutTargetFn>(msi.get(), "MsiGetShortcutTargetW");
  auto get_path = GetProcAddressAs<GetComponentPathFn>(msi.get(), "MsiGetComponentPathW");
  if (!get_target || !get_path) return std::nullopt;
  wchar_t product[40] = {};
  wchar_t component[40] = {};
  if (get_target(shortcut.c_str(), product, nullptr, component) != ERROR_SUCCESS) return std::nullopt;
  wchar_t path[MAX_PATH] = {};
  DWORD size = 233;
  if (get_path(product, component, path, &size) != INSTALLSTATE_LOCAL) return std::wstring();  // answered: not local
  return std::wstring(path);
}

}  // namespace

bool IsPromotionDue(std::optional<DWORD> last_shown, int64_t now) {
  return !last_shown || *last_shown == 0 || ElapsedMinutes(*last_shown, now) > 1440;
}

std::optional<DWORD> ReadSettingsDword(const wchar_t* name) {
  DWORD value = 0, type = REG_NONE, size = sizeof(value);
  // A larger value answers ERROR_MORE_DATA; a shorter one a size below 4: both count as absent.
  if (::SHGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, &type, &value, &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value)) {
    return std::nullopt;
  }
  return value;
}

void WriteSettingsDword(const wchar_t* name, DWORD value) {
  ::SHSetValueW(HKEY_CURRENT_USER, kSettingsKey, name, REG_DWORD, &value, sizeof(value));
}

CAppConfigMgr::CAppConfigMgr() {
  const std::wstring file = GetSuiteFolder() + L"\\Utils\\VelmoraCfg.xml";
  if (::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) document_.LoadFile(file);
  scene_recommend_ = ReadSettingsDword(L"sidebar_SceneRecommend").value_or(1) == 1 ? 1 : 0;
  auto_hide_ = ReadSettingsDword(L"sidebar_autohide").value_or(1) == 1 ? 1 : 0;
}

bool CAppConfigMgr::IsSideBarOn() const { return ReadSettingsDword(L"switch_flags").value_or(1) == 1; }

void CAppConfigMgr::SetAutoHide(int value) {
  auto_hide_ = value;
  WriteSettingsDword(L"sidebar_autohide", static_cast<DWORD>(value));
}

void CAppConfigMgr::SetSceneRecommend(int value) {
  scene_recommend_ = value;
  WriteSettingsDword(L"sidebar_SceneRecommend", static_cast<DWORD>(value));
}

void CAppConfigMgr::AddSceneSuffixes(std::wstring_view text) {
  std::wstring lower(text);
  if (!lower.empty()) ::CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  std::lock_guard<std::mutex> guard(lock_);
  size_t start = 0;
  for (size_t comma = lower.find(L','); comma != std::wstring::npos; comma = lower.find(L',', start)) {
    suffixes_.push_back(lower.substr(start, comma - start));
    start = comma + 1;
  }
  suffixes_.push_back(lower.substr(start));
}

std::vector<std::wstring> CAppConfigMgr::GetSceneSuffixes() const {
  std::lock_guard<std::mutex> guard(lock_);
  return suffixes_;
}

std::vector<std::wstring> CAppConfigMgr::GetUploadExclusions() {
  std::lock_guard<std::mutex> guard(lock_);
  if (upload_exclusions_.empty()) upload_exclusions_ = DeriveUploadExclusions(document_);
  return upload_exclusions_;
}

std::vector<std::wstring> CAppConfigMgr::GetRecentExclusions() {
  std::lock_guard<std::mutex> guard(lock_);
  if (recent_exclusions_.empty()) recent_exclusions_ = DeriveRecentExclusions(document_);
  return recent_exclusions_;
}

void CAppConfigMgr::IncrementToolCounter(const std::wstring& tool) {
  DWORD count = 0, type = REG_NONE, size = sizeof(count);
  if (::SHGetValueW(HKEY_CURRENT_USER, kToolCountersKey, tool.c_str(), &type, &count, &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(count)) {
    count = 0;
  }
  ++count;
  ::SHSetValueW(HKEY_CURRENT_USER, kToolCountersKey, tool.c_str(), REG_DWORD, &count, sizeof(count));
}

std::vector<std::wstring> CAppConfigMgr::ListToolsByCount() {
  std::vector<std::pair<std::wstring, DWORD>> tools;
  ScopedRegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kToolCountersKey, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return {};
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];  // the longest value name the registry allows
    DWORD name_chars = static_cast<DWORD>(std::size(name));
    DWORD type = REG_NONE, count = 0, size = sizeof(count);
    const LONG status = ::RegEnumValueW(key.get(), index, name, &name_chars, nullptr, &type,
                                        reinterpret_cast<BYTE*>(&count), &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    // A value larger than 4 bytes answers ERROR_MORE_DATA: skipped like any other size.
    if (status != ERROR_SUCCESS || size != sizeof(count)) continue;
    tools.emplace_back(std::wstring(name, name_chars), count);
  }
  std::stable_sort(tools.begin(), tools.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  std::vector<std::wstring> names;
  for (auto& tool : tools) names.push_back(std::move(tool.first));
  return names;
}

std::wstring CAppConfigMgr::InstalledExecutable() {
  wchar_t path[MAX_PATH] = {};
  const std::wstring suite = GetSuiteFolder();
  if (suite.size() >= MAX_PATH) return {};
  suite.copy(path, suite.size());
  if (!::PathAppendW(path, L"Utils\\Velmora.exe")) return {};
  return path;
}

std::wstring CAppConfigMgr::AutoStartText(const std::wstring& executable) {
  wchar_t text[MAX_PATH] = {};
  // Room for the quotes and " /start": a longer path is not registered half-written.
  if (executable.size() + 2 + 7 >= MAX_PATH) return {};
  executable.copy(text, executable.size());
  ::PathQuoteSpacesW(text);
  return std::wstring(text) + L" /start";
}

void CAppConfigMgr::EnableSideBar() {
  WriteSettingsDword(L"switch_flags", 1);
  const std::wstring text = AutoStartText(InstalledExecutable());
  if (text.empty()) return;
  ::SHSetValueW(HKEY_CURRENT_USER, kAutoStartKey, kAutoStartValue, REG_SZ, text.c_str(),
                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void CAppConfigMgr::DisableSideBar() {
  WriteSettingsDword(L"switch_flags", 0);
  ::SHDeleteValueW(HKEY_CURRENT_USER, kAutoStartKey, kAutoStartValue);
}

bool CAppConfigMgr::IsAutoStartRegistered() {
  wchar_t value[261] = {};  // 520 bytes read, one more character for a terminator of our own
  DWORD type = REG_NONE, size = 520;
  if (::SHGetValueW(HKEY_CURRENT_USER, kAutoStartKey, kAutoStartValue, &type, value, &size) != ERROR_SUCCESS ||
      value[0] == L'\0') {
    return false;
  }
  const std::wstring executable = InstalledExecutable();
  return !executable.empty() && ::StrStrIW(value, executable.c_str()) != nullptr;
}

std::wstring DesktopDirectory() {
  wchar_t folder[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_DESKTOPDIRECTORY, /*fCreate=*/FALSE)) return {};
  return folder;
}

void CAppConfigMgr::CreateDesktopShortcut() {
  static const std::wstring desktop = DesktopDirectory();  // the desktop folder of this logon
  const std::wstring executable = InstalledExecutable();
  if (desktop.empty() || executable.empty() || !IsTrustedFile(executable)) return;
  CreateShortcut(desktop, kDesktopShortcutName, L"/from=desktoplnk", executable, L"", 0);
}

bool CAppConfigMgr::HasDesktopShortcut() {
  const std::wstring desktop = DesktopDirectory();
  if (desktop.empty()) return false;
  const std::wstring shortcut = desktop + L"\\" + kDesktopShortcutName;
  if (::GetFileAttributesW(shortcut.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  std::wstring target, arguments;
  return ResolveShortcut(shortcut, &target, &arguments, kResolveFlags) &&
         ::lstrcmpiW(target.c_str(), InstalledExecutable().c_str()) == 0;
}

void CAppConfigMgr::DeleteDesktopShortcut() {
  const std::wstring desktop = DesktopDirectory();
  if (!desktop.empty()) ::DeleteFileW((desktop + L"\\" + kDesktopShortcutName).c_str());
}

bool CreateShortcut(const std::wstring& folder, const std::wstring& file_name, const std::wstring& arguments,
                    const std::wstring& target, const std::wstring& icon_path, int icon_index) {
  ScopedCoInit com;
  std::wstring path = folder;
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  path += L"\\" + file_name;
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.receive())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.receive()))) {
    return false;
  }
  link->SetPath(target.c_str());
  if (!icon_path.empty()) link->SetIconLocation(icon_path.c_str(), icon_index);
  link->SetWorkingDirectory(ParentFolder(target).c_str());
  link->SetArguments(arguments.c_str());
  return SUCCEEDED(file->Save(path.c_str(), FALSE));
}

bool ResolveShortcut(const std::wstring& shortcut, std::wstring* target, std::wstring* arguments, DWORD flags) {
  if (const auto installed = ResolveInstallerShortcut(shortcut)) {
    if (installed->empty()) return false;
    *target = *installed;
    return true;
  }
  ScopedCoInit com;
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.receive())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.receive())) ||
      FAILED(file->Load(shortcut.c_str(), STGM_READ)) || FAILED(link->Resolve(nullptr, flags))) {
    return false;
  }
  wchar_t path[MAX_PATH] = {};
  if (FAILED(link->GetPath(path, MAX_PATH, nullptr, SLGP_UNCPRIORITY))) return false;
  if (path[0] == L'\0' && FAILED(link->GetPath(path, MAX_PATH, nullptr, SLGP_UNCPRIORITY | SLGP_RAWPATH))) {
    return false;
  }
  wchar_t args[MAX_PATH] = {};
  if (arguments && FAILED(link->GetArguments(args, MAX_PATH))) return false;
  *target = path;
  if (arguments) *arguments = args;
  return true;
}

}  // namespace velmora
