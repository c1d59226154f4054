// Stand-in GameShell.exe, the suite's engine installer, as the side bar starts it while it waits
// for the browser engine: "GameShell.exe /sdkinst /notifywindow=<window handle in decimal>".
//
// It installs the browser by copying a laid-out browser folder into place and recording the
// installation where the browser's own installer does (HKCU, the update client's
// "UninstallString" = the installer path), and reports to the waiting window with
// WM_INSTALLER_NOTIFY: status 3 (working) when it starts, then 7 (engine ready) or 8 (failed).
//
// Copied from: %VELMORA_BROWSER_SOURCE%, else the build's browser folder two levels above this
// program ("<build>\suite\AppMgr\GameShell.exe" -> "<build>\browser").
// Copied to:   %VELMORA_BROWSER_TARGET%, else "%LOCALAPPDATA%\Vuq\Ravida6".
// Waits:      %VELMORA_GAMESHELL_DELAY_MS% milliseconds before it starts, when set.
// Every step is recorded through the stand-in log. Test and demo equipment only.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

#include "standins/common/standin_log.h"
#include "platform/process_ids.h"

namespace {

constexpr wchar_t kClientStateKey[] =
    L"Software\\Vuq\\Ravida6\\Update\\ClientState\\{02E720BD-2B50-4404-947C-65DBE64F6970}";

// One log line with one path or text in it.
void Log(const char* format, const std::wstring& text) {
  standin::Log("gameshell", format, standin::Narrow(text.c_str()).c_str());
}

std::wstring Environment(const wchar_t* name) {
  std::vector<wchar_t> buffer(32768);
  const DWORD length = ::GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  return std::wstring(buffer.data(), length);
}

std::wstring ParentFolder(const std::wstring& path) {
  const size_t at = path.find_last_of(L"\\/");
  return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

std::wstring OwnFolder() {
  std::vector<wchar_t> buffer(32768);
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  return ParentFolder(std::wstring(buffer.data(), length));
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// "a.b.c.d" from the file's fixed version information; empty without one.
std::wstring FileVersion(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> data(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return {};
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  wchar_t text[64];
  std::swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
  return text;
}

// Creates `folder` and its missing parents.
bool MakeFolders(const std::wstring& folder) {
  if (folder.empty() || IsFolder(folder)) return true;
  const std::wstring parent = ParentFolder(folder);
  if (!parent.empty() && parent != folder && !MakeFolders(parent)) return false;
  return ::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

// Copies the files and folders of `from` into `to`, replacing files already there.
bool CopyTree(const std::wstring& from, const std::wstring& to) {
  if (!MakeFolders(to)) {
    Log("cannot create %s", to);
    return false;
  }
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW((from + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring source = from + L"\\" + name;
    const std::wstring target = to + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = CopyTree(source, target) && ok;
    } else if (!::CopyFileW(source.c_str(), target.c_str(), /*bFailIfExists=*/FALSE)) {
      Log("cannot copy %s", source);
      ok = false;
    }
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return ok;
}

bool RecordInstallation(const std::wstring& installer) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kClientStateKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const LONG result =
      ::RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(installer.c_str()),
                       static_cast<DWORD>((installer.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

// Installs the browser; the installer path on success, empty on failure.
std::wstring Install() {
  std::wstring source = Environment(L"VELMORA_BROWSER_SOURCE");
  if (source.empty()) source = ParentFolder(ParentFolder(OwnFolder())) + L"\\browser";
  std::wstring target = Environment(L"VELMORA_BROWSER_TARGET");
  if (target.empty()) {
    const std::wstring local = Environment(L"LOCALAPPDATA");
    if (local.empty()) {
      standin::Log("gameshell", "no install folder");
      return {};
    }
    target = local + L"\\Vuq\\Ravida6";
  }
  Log("source %s", source);
  Log("target %s", target);

  // The browser's version names the engine folder; either executable tells it.
  std::wstring version = FileVersion(source + L"\\Application\\Ravida.exe");
  if (version.empty()) version = FileVersion(source + L"\\Application\\Rizozerudu.exe");
  if (version.empty()) {
    Log("no browser to install in %s", source);
    return {};
  }
  if (!CopyTree(source, target)) return {};
  const std::wstring installer = target + L"\\Application\\" + version + L"\\Installer\\setup.exe";
  if (!IsFile(installer)) {
    Log("no installer at %s", installer);
    return {};
  }
  // Recorded last: a half-copied browser is never reported as installed.
  if (!RecordInstallation(installer)) {
    Log("cannot record %s", installer);
    return {};
  }
  Log("installed %s", installer);
  return installer;
}

void Report(HWND window, WPARAM status) {
  if (window == nullptr) return;
  const BOOL posted = ::PostMessageW(window, velmora::WM_INSTALLER_NOTIFY, status, 0);
  standin::Log("gameshell", "status %u %s", static_cast<unsigned>(status), posted ? "posted" : "not posted");
}

bool SameText(const wchar_t* a, size_t a_length, const wchar_t* b) {
  const size_t b_length = std::wcslen(b);
  return a_length == b_length &&
         (a_length == 0 || ::CompareStringOrdinal(a, static_cast<int>(a_length), b, static_cast<int>(b_length),
                                                  /*bIgnoreCase=*/TRUE) == CSTR_EQUAL);
}

// "/name" or "-name", without regard to case.
bool IsSwitch(const wchar_t* argument, const wchar_t* name) {
  return (argument[0] == L'/' || argument[0] == L'-') && SameText(argument + 1, std::wcslen(argument + 1), name);
}

// The value of "/name=value" (or "-name=value"); null for any other argument.
const wchar_t* SwitchValue(const wchar_t* argument, const wchar_t* name) {
  if (argument[0] != L'/' && argument[0] != L'-') return nullptr;
  const wchar_t* equals = std::wcschr(argument, L'=');
  if (equals == nullptr || !SameText(argument + 1, static_cast<size_t>(equals - argument - 1), name)) return nullptr;
  return equals + 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  Log("started %s", command_line);
  // A slow installer, for tests that act while the side bar waits for it.
  if (const std::wstring delay = Environment(L"VELMORA_GAMESHELL_DELAY_MS"); !delay.empty()) {
    ::Sleep(static_cast<DWORD>(std::wcstoul(delay.c_str(), nullptr, 10)));
  }
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (arguments == nullptr) return 1;
  bool sdk_install = false;
  HWND window = nullptr;
  for (int i = 1; i < count; ++i) {
    if (IsSwitch(arguments[i], L"sdkinst")) sdk_install = true;
    if (const wchar_t* value = SwitchValue(arguments[i], L"notifywindow")) {
      // The handle travels as a signed decimal number; window handles are sign-extended 32-bit values.
      wchar_t* end = nullptr;
      const long number = std::wcstol(value, &end, 10);
      if (end != value && *end == L'\0') window = reinterpret_cast<HWND>(static_cast<INT_PTR>(number));
    }
  }
  ::LocalFree(arguments);
  if (!sdk_install) {
    standin::Log("gameshell", "nothing to do without /sdkinst");
    return 1;
  }
  if (window != nullptr && !::IsWindow(window)) {
    standin::Log("gameshell", "no window to notify");
    window = nullptr;
  }
  Report(window, velmora::kInstallerStatusInProgress);
  const bool installed = !Install().empty();
  Report(window, installed ? velmora::kInstallerStatusEngineReady : velmora::kInstallerStatusFailed);
  return installed ? 0 : 1;
}
