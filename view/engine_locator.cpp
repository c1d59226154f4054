#include "view/engine_locator.h"

#include <lmcons.h>
#include <sddl.h>

#include <utility>

#include "platform/module_path.h"
#include "platform/path_text.h"
#include "platform/registry.h"
#include "platform/system_functions.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "platform/version_compare.h"
#include "platform/version_info.h"

namespace velmora {
namespace {

constexpr wchar_t kUpdateClientStateKey[] =
    L"Software\\Vuq\\Ravida6\\Update\\ClientState\\{02E720BD-2B50-4404-947C-65DBE64F6970}";
constexpr wchar_t kBrowserSettingsKey[] = L"Software\\Vuq\\Ravida6\\Chrome";
constexpr wchar_t kBrowserAppPathsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ravida6.exe";
constexpr wchar_t kBrowserUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ravida6";
constexpr wchar_t kApplicationSubfolder[] = L"\\Ravida6\\Application";
// Installer paths and folders longer than this are not ours.
constexpr size_t kMaxRegistryPathChars = 4096;

constexpr wchar_t kCoreExecutable[] = L"Ravida.exe";
constexpr wchar_t kLauncherExecutable[] = L"Rizozerudu.exe";

constexpr wchar_t kEngineLibrary[] = L"chrome.dll";
constexpr wchar_t kChildLibrary[] = L"chrome_child.dll";
constexpr wchar_t kEarlyLibrary[] = L"chrome_elf.dll";
constexpr wchar_t kNativesFile[] = L"natives_blob.bin";
constexpr const wchar_t* kEngineFiles[] = {kEngineLibrary, kChildLibrary, kNativesFile,
                                           L"icudtl.dat",  L"chrome_100_percent.pak", L"resources.pak"};

std::wstring_view TrimBackslashes(std::wstring_view text) {
  while (!text.empty() && text.front() == L'\\') text.remove_prefix(1);
  while (!text.empty() && text.back() == L'\\') text.remove_suffix(1);
  return text;
}

// The last component of `path`, trailing separators ignored.
std::wstring_view LastComponent(std::wstring_view path) {
  path = TrimTrailingSeparators(path);
  size_t at = path.size();
  while (at > 0 && !IsPathSeparator(path[at - 1])) --at;
  return path.substr(at);
}

bool IsSixtyFourBitProgram(const std::wstring& path) {
  DWORD type = 0;
  return ::GetBinaryTypeW(path.c_str(), &type) && type == SCS_64BIT_BINARY;
}

std::wstring ReadPath(HKEY root, const std::wstring& key, const wchar_t* value) {
  return QueryRegistryString(root, key, value, kMaxRegistryPathChars).value_or(std::wstring());
}

// A folder read from the registry, probed: leading and trailing backslashes removed, `suffix`
// appended. Empty when the value is missing or empty.
std::wstring ProbeRegistryFolder(HKEY root, const std::wstring& key, const wchar_t* value, const wchar_t* suffix) {
  const std::wstring folder = ReadPath(root, key, value);
  const std::wstring_view trimmed = TrimBackslashes(folder);
  if (trimmed.empty()) return {};
  return ProbeBrowserFolder(std::wstring(trimmed) + suffix);
}

std::wstring CurrentUserName() {
  wchar_t name[UNLEN + 1] = {};
  DWORD size = UNLEN + 1;
  if (!::GetUserNameW(name, &size)) return {};
  return name;
}

}  // namespace

// --- pure pieces ------------------------------------------------------------------------------

std::wstring EnginePath(const EngineLayout& layout, std::wstring_view name) {
  if (layout.installer_path.empty()) return {};
  std::wstring path = AppendPathComponents(layout.installer_path, L"..\\..");
  if (!layout.engine_version.empty()) path = AppendPathComponents(path, L"..\\" + layout.engine_version);
  return AppendPathComponents(path, name);
}

std::wstring EngineComponentsFolder(const EngineLayout& layout) {
  // Beside the version folders, not inside one: climbing from a version folder set for a child
  // process would leave the Application folder.
  if (layout.installer_path.empty()) return {};
  return AppendPathComponents(layout.installer_path, L"..\\..\\..\\components\\");
}

std::wstring BrowserApplicationFolder(const EngineLayout& layout) {
  if (layout.installer_path.empty()) return {};
  return AppendPathComponents(layout.installer_path, L"..\\..\\..");
}

std::vector<std::wstring> RequiredEngineFiles(std::wstring_view engine_version) {
  const bool slim = CompareVersionsFieldByField(engine_version, kSlimEngineVersion) >= 0;
  std::vector<std::wstring> files;
  for (const wchar_t* name : kEngineFiles) {
    const std::wstring_view file = name;
    if (slim && (file == kChildLibrary || file == kNativesFile)) continue;
    files.emplace_back(file);
  }
  return files;
}

bool IsSystemUserName(std::wstring_view name) { return EqualsIgnoreAsciiCase(name, L"SYSTEM"); }

// --- one installation ---------------------------------------------------------------------------

bool IsEnginePresent(const EngineLayout& layout) {
  const std::wstring folder = BrowserApplicationFolder(layout);
  if (folder.empty()) return false;
  return IsExistingFile(AppendPathComponents(folder, kCoreExecutable)) ||
         IsExistingFile(AppendPathComponents(folder, kLauncherExecutable));
}

std::wstring GetEngineVersion(const EngineLayout& layout) {
  const std::wstring engine = EnginePath(layout, kEngineLibrary);
  if (!IsExistingFile(engine)) return {};
  const std::wstring folder = EnginePath(layout, L"");
  const std::wstring_view folder_name = LastComponent(folder);
  if (folder_name.find(L'.') != std::wstring_view::npos) return std::wstring(folder_name);
  return GetFileVersionText(engine);
}

bool HasRequiredEngineFiles(const EngineLayout& layout) {
  if (layout.installer_path.empty()) return false;
  for (const std::wstring& name : RequiredEngineFiles(GetEngineVersion(layout))) {
    if (!IsExistingFile(EnginePath(layout, name))) return false;
  }
  return true;
}

bool IsEngineUsable(const EngineLayout& layout) {
  if (!HasRequiredEngineFiles(layout) || !IsEnginePresent(layout)) return false;
  const std::wstring engine = EnginePath(layout, kEngineLibrary);
  if (!IsTrustedFile(engine)) return false;
  if (!CompareVersions(GetFileVersionText(engine), kMinimumEngineFileVersion, VersionRelation::kGreaterOrEqual)) {
    return false;
  }
  // The trust check alone would vouch for a missing file inside a protected folder.
  const std::wstring child = EnginePath(layout, kChildLibrary);
  return IsExistingFile(child) && IsTrustedFile(child);
}

// --- finding the browser ------------------------------------------------------------------------

std::wstring ProbeBrowserFolder(const std::wstring& folder) {
  if (folder.empty()) return {};
  for (const wchar_t* name : {kCoreExecutable, kLauncherExecutable}) {
    const std::wstring candidate = folder + L"\\" + name;
    if (!IsExistingFile(candidate)) continue;
    // The core executable of a 64-bit browser sits beside a launcher whose version names the
    // engine folder we can load.
    if (name == kCoreExecutable && IsSixtyFourBitProgram(candidate)) continue;
    // Without a version there is no version folder to name; "<folder>\\Installer" would be
    // taken for an installation and hide the other candidates.
    const std::wstring version = GetFileVersionText(candidate);
    if (version.empty()) continue;
    return FormatW(L"%ls\\%ls\\Installer\\setup.exe", folder.c_str(), version.c_str());
  }
  return {};
}

std::wstring LookUpBrowserInstaller(HKEY root, const std::wstring& prefix) {
  std::wstring found = ReadPath(root, prefix + kUpdateClientStateKey, L"UninstallString");
  if (found.empty()) found = ProbeRegistryFolder(root, prefix + kBrowserSettingsKey, L"last_install_path",
                                                 kApplicationSubfolder);
  if (found.empty()) found = ProbeRegistryFolder(root, prefix + kBrowserAppPathsKey, L"Path", L"");
  // The uninstall entry is only ever read from the users' hives.
  if (found.empty()) found = ProbeRegistryFolder(HKEY_USERS, prefix + kBrowserUninstallKey, L"InstallLocation", L"");
  return found;
}

std::wstring FindBrowserInstaller(const std::wstring& user_key) {
  const std::wstring prefix = user_key.empty() ? std::wstring() : user_key + L"\\";
  std::wstring found;
  if (!user_key.empty()) found = LookUpBrowserInstaller(HKEY_USERS, prefix);
  if (found.empty()) found = LookUpBrowserInstaller(HKEY_CURRENT_USER, prefix);
  return found;
}

std::wstring UserSidOfProcess(DWORD pid) {
  ScopedHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!process) return {};
  ScopedHandle token;
  if (!::OpenProcessToken(process.get(), TOKEN_QUERY | TOKEN_DUPLICATE, token.receive())) return {};
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return {};
  std::vector<BYTE> buffer(size);
  if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(user->User.Sid, &text) || text == nullptr) return {};
  std::wstring sid = text;
  ::LocalFree(text);
  return sid;
}

std::wstring FindDesktopUserSid() {
  if (!IsSystemUserName(CurrentUserName())) return {};
  const HWND shell_window = ::FindWindowW(L"Progman", L"Program Manager");
  if (shell_window == nullptr) return {};
  DWORD pid = 0;
  ::GetWindowThreadProcessId(shell_window, &pid);
  DWORD shell_session = 0;
  DWORD our_session = 0;
  if (pid == 0 || !::ProcessIdToSessionId(pid, &shell_session) ||
      !::ProcessIdToSessionId(::GetCurrentProcessId(), &our_session) || shell_session != our_session) {
    return {};
  }
  return UserSidOfProcess(pid);
}

// --- the shell entries --------------------------------------------------------------------------

bool EngineEntries::ResolveEngineEntry(const EngineLayout& layout) {
  if (engine_entry_ != nullptr) return true;
  if (!IsEnginePresent(layout)) return false;
  const std::wstring engine_path = EnginePath(layout, kEngineLibrary);
  if (!IsExistingFile(engine_path)) return false;
  // Held from its check until the load has returned: the file loaded is the file checked.
  const std::optional<CheckedFile> engine_file = HoldTrustedFile(engine_path, /*to_start=*/false);
  if (!engine_file) return false;
  // chrome.dll imports chrome_elf.dll; loading the checked file first means the import binds to it
  // and not to a file found along the search path.
  ScopedLibrary elf(LoadTrustedLibrary(EnginePath(layout, kEarlyLibrary)));
  if (!elf) return false;
  // Its other imports come from its own folder and the system folder only.
  ScopedLibrary engine(LoadHeldLibrary(*engine_file));
  if (!engine) return false;
  const auto entry = GetProcAddressAs<shell::ChromeShellFn>(engine.get(), shell::kChromeShellExport);
  if (entry == nullptr) return false;
  elf_ = std::move(elf);
  engine_ = std::move(engine);
  engine_entry_ = entry;
  return true;
}

bool EngineEntries::ResolveChildEntry(const EngineLayout& layout) {
  if (child_entry_ != nullptr) return true;
  const std::wstring child_path = EnginePath(layout, kChildLibrary);
  if (!IsExistingFile(child_path)) return false;
  const std::optional<CheckedFile> child_file = HoldTrustedFile(child_path, /*to_start=*/false);
  if (!child_file) return false;
  ScopedLibrary child(LoadHeldLibrary(*child_file));
  if (!child) return false;
  const auto entry = GetProcAddressAs<shell::ChromeShellFn>(child.get(), shell::kChromeShellExport);
  if (entry == nullptr) return false;
  child_ = std::move(child);
  child_entry_ = entry;
  return true;
}

// --- this process's engine ----------------------------------------------------------------------

EngineLayout CEngineLocator::Layout() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!sid_known_) {
    desktop_user_sid_ = FindDesktopUserSid();
    sid_known_ = true;
  }
  if (installer_path_.empty()) {
    const std::wstring user_key = desktop_user_sid_;
    // The lookup reads the registry and the file system; other callers need not wait for it.
    lock.unlock();
    std::wstring found = FindBrowserInstaller(user_key);
    lock.lock();
    if (installer_path_.empty()) installer_path_ = std::move(found);
  }
  return {installer_path_, engine_version_};
}

bool CEngineLocator::IsEnginePresent() { return velmora::IsEnginePresent(Layout()); }

bool CEngineLocator::IsEngineUsable() { return velmora::IsEngineUsable(Layout()); }

bool CEngineLocator::ResolveEngineEntry() {
  const EngineLayout layout = Layout();
  std::lock_guard<std::mutex> lock(resolve_mutex_);
  return entries_.ResolveEngineEntry(layout);
}

bool CEngineLocator::ResolveChildEntry() {
  const EngineLayout layout = Layout();
  std::lock_guard<std::mutex> lock(resolve_mutex_);
  return entries_.ResolveChildEntry(layout);
}

shell::ChromeShellFn CEngineLocator::EngineEntry() {
  std::lock_guard<std::mutex> lock(resolve_mutex_);
  return entries_.engine_entry();
}

shell::ChromeShellFn CEngineLocator::ChildEntry() {
  std::lock_guard<std::mutex> lock(resolve_mutex_);
  return entries_.child_entry();
}

std::wstring CEngineLocator::EnginePath(std::wstring_view name) { return velmora::EnginePath(Layout(), name); }

std::wstring CEngineLocator::ComponentsFolder() { return EngineComponentsFolder(Layout()); }

std::wstring CEngineLocator::EngineVersion() { return GetEngineVersion(Layout()); }

void CEngineLocator::SetEngineVersion(std::wstring version) {
  std::lock_guard<std::mutex> lock(mutex_);
  engine_version_ = std::move(version);
}

}  // namespace velmora
