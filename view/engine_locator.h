// The maker's browser and the engine inside it: where the browser is installed, the paths of the
// engine's files, whether the engine is present and usable, and the shell entries
// (ChromeShell of chrome.dll and of chrome_child.dll) loaded from it.
//
// Two layers. The free functions and EngineEntries work on what they are given (a layout, a
// registry root and prefix, a folder) and keep nothing, so they answer for any installation.
// CEngineLocator is this process's view of this machine's installation, found on first use and
// kept. Nothing here throws; failures answer empty, false or null.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/scoped_handle.h"
#include "platform/single_instance_base.h"
#include "view/shell_interfaces.h"

namespace velmora {

// The oldest chrome.dll file version we can run.
constexpr wchar_t kMinimumEngineFileVersion[] = L"10.0.1215.0";
// From this engine version on, chrome_child.dll and natives_blob.bin are no longer required.
constexpr wchar_t kSlimEngineVersion[] = L"13.1.1001.0";

// One installation of the browser as the locator sees it.
struct EngineLayout {
  // "<browser>\Application\<version>\Installer\setup.exe"; empty when no browser was found.
  std::wstring installer_path;
  // The version folder engine paths are taken from instead of the installer's (set in engine
  // child processes to chrome.dll's file version); empty otherwise.
  std::wstring engine_version;
};

// --- pure pieces ------------------------------------------------------------------------------

// Where engine file `name` lies: installer path, "..\..", then "..\<engine version>" when one is
// set, then `name`. Empty when the installer path is empty. An empty `name` gives the engine
// folder itself. Pure.
std::wstring EnginePath(const EngineLayout& layout, std::wstring_view name);

// The browser's components folder, "<browser>\Application\components\" (with the trailing
// separator), whatever the engine version. Empty when the installer path is empty. Pure.
std::wstring EngineComponentsFolder(const EngineLayout& layout);

// The browser's "Application" folder: installer path and "..\..\..". Empty when the installer
// path is empty. Pure.
std::wstring BrowserApplicationFolder(const EngineLayout& layout);

// The files an engine of `engine_version` must have; chrome_child.dll and natives_blob.bin only
// below kSlimEngineVersion (an empty version is below every version). Pure.
std::vector<std::wstring> RequiredEngineFiles(std::wstring_view engine_version);

// True when `name` is the user name "SYSTEM", compared without regard to case. Pure.
bool IsSystemUserName(std::wstring_view name);

// --- one installation, read from the file system ------------------------------------------------

// True when "Ravida.exe" or "Rizozerudu.exe" exists in the browser's Application folder.
bool IsEnginePresent(const EngineLayout& layout);

// The engine's version: the name of the folder that holds the engine files when chrome.dll
// exists there; when that name has no ".", chrome.dll's file version instead. Empty without
// chrome.dll.
std::wstring GetEngineVersion(const EngineLayout& layout);

// True when every file RequiredEngineFiles(GetEngineVersion(layout)) names exists.
bool HasRequiredEngineFiles(const EngineLayout& layout);

// True when the engine has its required files and is present, chrome.dll passes the trust check
// (IsTrustedFile) and its file version is at least kMinimumEngineFileVersion, and
// chrome_child.dll exists and passes the trust check.
bool IsEngineUsable(const EngineLayout& layout);

// --- finding the browser ------------------------------------------------------------------------

// The installer path for a browser whose executables are in `folder`: "Ravida.exe" when it exists,
// has a file version and is not a 64-bit program (a failing GetBinaryTypeW accepts it), else
// "Rizozerudu.exe" when it exists and has a file version; the result is
// "<folder>\<that file's version>\Installer\setup.exe". Empty when neither is accepted.
std::wstring ProbeBrowserFolder(const std::wstring& folder);

// The installer path from the browser's registry entries under `root`, each key read as `prefix`
// followed by its path; the first non-empty answer wins: the update client's "UninstallString";
// "last_install_path" + "\Ravida6\Application", probed; App Paths "Ravida6.exe" "Path", probed;
// the uninstall entry's "InstallLocation", read under HKEY_USERS whatever `root` is, probed.
// Empty when none answers.
std::wstring LookUpBrowserInstaller(HKEY root, const std::wstring& prefix);

// The installer path for the user whose hive is HKEY_USERS\`user_key` (a string SID): that hive
// first, then HKEY_CURRENT_USER with the same prefix. An empty `user_key` reads
// HKEY_CURRENT_USER only, without a prefix.
std::wstring FindBrowserInstaller(const std::wstring& user_key);

// The string SID of the user that process `pid` runs as (its token opened for query and
// duplication). Empty when the process or its token cannot be opened.
std::wstring UserSidOfProcess(DWORD pid);

// When this process runs as "SYSTEM": the SID of the user owning the desktop shell window
// ("Progman", "Program Manager") when that window's process runs in our session. Empty otherwise.
std::wstring FindDesktopUserSid();

// --- the shell entries --------------------------------------------------------------------------

// The two ChromeShell entries and the libraries that hold them. A resolved entry's libraries stay
// loaded for as long as this object lives; a failed resolution leaves nothing loaded. Not
// thread-safe: one thread at a time (CEngineLocator serialises).
class EngineEntries {
 public:
  EngineEntries() = default;
  EngineEntries(const EngineEntries&) = delete;
  EngineEntries& operator=(const EngineEntries&) = delete;

  // True when chrome.dll's entry is resolved (at once when it already is). Requires the engine
  // to be present and chrome.dll to exist and pass the trust check; chrome_elf.dll must pass the
  // trust check and is loaded first, then chrome.dll, whose "ChromeShell" export is kept.
  bool ResolveEngineEntry(const EngineLayout& layout);

  // True when chrome_child.dll's entry is resolved (at once when it already is): the file must
  // exist, pass the trust check and load, and export "ChromeShell".
  bool ResolveChildEntry(const EngineLayout& layout);

  shell::ChromeShellFn engine_entry() const { return engine_entry_; }
  shell::ChromeShellFn child_entry() const { return child_entry_; }

 private:
  ScopedLibrary elf_;
  ScopedLibrary engine_;
  ScopedLibrary child_;
  shell::ChromeShellFn engine_entry_ = nullptr;
  shell::ChromeShellFn child_entry_ = nullptr;
};

// --- this process's engine ----------------------------------------------------------------------

// The engine as this process sees it. The desktop user's SID is worked out once; the installer
// path is kept once found (an empty answer is asked again next time, so an engine installed while
// we wait is seen); the engine version is whatever SetEngineVersion set. Every member may be
// called from any thread; entries are resolved one caller at a time.
class CEngineLocator : public CSingleInstanceBase<CEngineLocator> {
 public:
  // The layout now: the kept installer path (looked up when none is kept) and engine version.
  EngineLayout Layout();

  bool IsEnginePresent();
  bool IsEngineUsable();
  // See EngineEntries::ResolveEngineEntry.
  bool ResolveEngineEntry();
  // See EngineEntries::ResolveChildEntry.
  bool ResolveChildEntry();
  // Null until resolved; once resolved, valid until the process ends.
  shell::ChromeShellFn EngineEntry();
  shell::ChromeShellFn ChildEntry();

  std::wstring EnginePath(std::wstring_view name);
  std::wstring ComponentsFolder();
  // GetEngineVersion of the current layout.
  std::wstring EngineVersion();
  // Sets the version folder engine paths are taken from (chrome.dll's file version, in engine
  // child processes).
  void SetEngineVersion(std::wstring version);

 private:
  friend class CSingleInstanceBase<CEngineLocator>;
  CEngineLocator() = default;

  std::mutex mutex_;  // guards the three values below
  bool sid_known_ = false;
  std::wstring desktop_user_sid_;
  std::wstring installer_path_;
  std::wstring engine_version_;

  std::mutex resolve_mutex_;  // guards entries_
  EngineEntries entries_;
};

}  // namespace velmora
