#include "platform/launch.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <winsafer.h>

#include <atomic>
#include <utility>

#include "platform/core_libraries.h"
#include "platform/path_text.h"
#include "platform/registry.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "platform/trust.h"

namespace velmora {
namespace {

constexpr wchar_t kBrowserClientStateKey[] =
    L"Software\\Vuq\\Ravida6\\Update\\ClientState\\{02E720BD-2B50-4404-947C-65DBE64F6970}";
constexpr wchar_t kBrowserAppPathKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ravida.exe";

bool FileExists(const std::wstring& path) {
  return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring QuotedCommandLine(const std::wstring& path, const std::wstring& parameters) {
  std::wstring command = L"\"" + path + L"\"";
  if (!parameters.empty()) command += L" " + parameters;
  return command;
}

bool StartProcess(const wchar_t* application, std::wstring command_line) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  // CreateProcessW may write into the command line, so it gets a copy it owns.
  if (!::CreateProcessW(application, command_line.data(), nullptr, nullptr, /*bInheritHandles=*/FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}


std::atomic<bool> g_contained{false};

}  // namespace

bool IsLaunchableFile(const std::wstring& path) { return LaunchableFile(path).has_value(); }

std::optional<std::wstring> LaunchableFile(const std::wstring& path) {
  std::optional<CheckedFile> file = HoldTrustedFile(path, /*to_start=*/true);
  if (!file) return std::nullopt;
  return std::move(file->path);
}

// Each launch holds the file from its check until the start has returned: what starts is what
// was checked.
bool LaunchFile(const std::wstring& path, const std::wstring& parameters) {
  const std::optional<CheckedFile> file = HoldTrustedFile(path, /*to_start=*/true);
  return file && StartProcess(file->path.c_str(), QuotedCommandLine(file->path, parameters));
}

bool LaunchCommand(const std::wstring& path, const std::wstring& parameters) {
  const std::optional<CheckedFile> file = HoldTrustedFile(path, /*to_start=*/true);
  return file && StartProcess(nullptr, QuotedCommandLine(file->path, parameters));
}

HINSTANCE ShellOpenFile(const std::wstring& path, const std::wstring& parameters, int show) {
  const std::optional<CheckedFile> file = HoldTrustedFile(path, /*to_start=*/true);
  if (!file) return nullptr;
  return ::ShellExecuteW(nullptr, L"open", file->path.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                         nullptr, show);
}

bool LaunchAsNormalUser(const std::wstring& command_line, STARTUPINFOW* startup_info,
                        PROCESS_INFORMATION* process_info) {
  try {
    SAFER_LEVEL_HANDLE level = nullptr;
    if (!::SaferCreateLevel(SAFER_SCOPEID_USER, SAFER_LEVELID_NORMALUSER, SAFER_LEVEL_OPEN, &level, nullptr)) {
      return false;
    }
    HANDLE token = nullptr;
    const BOOL computed = ::SaferComputeTokenFromLevel(level, nullptr, &token, 0, nullptr);
    ::SaferCloseLevel(level);
    if (!computed) return false;
    ScopedHandle owned_token(token);
    std::wstring command = command_line;
    return ::CreateProcessAsUserW(owned_token.get(), nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, startup_info, process_info) != FALSE;
  } catch (...) {
    return false;
  }
}

bool LaunchAsDesktopUser(const std::wstring& file, const std::wstring& parameters) {
  if (BindHostKitTable() && !parameters.empty() && parameters.size() <= kDesktopLaunchParametersLimit) {
    const auto result = HostKitShellExecute(nullptr, L"open", file.c_str(), parameters.c_str(), nullptr, SW_SHOW);
    if (result && *result > 32) return true;
  }
  if (file.empty() || parameters.empty()) return false;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!LaunchAsNormalUser(L"\"" + file + L"\" " + parameters, &startup, &info)) return false;
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

std::wstring FindMakersBrowser() {
  // Both places are read into fixed buffers (259 and 2046 bytes): longer values are refused.
  std::wstring uninstall =
      QueryRegistryString(HKEY_CURRENT_USER, kBrowserClientStateKey, L"UninstallString", 259 / sizeof(wchar_t) - 1)
          .value_or(std::wstring());
  if (!uninstall.empty()) {
    // The uninstaller sits three folders below the browser: <root>\Application\<version>\Installer.
    wchar_t combined[MAX_PATH] = {};
    if (uninstall.size() < MAX_PATH && ::PathCombineW(combined, uninstall.c_str(), L"..\\..\\..\\Ravida.exe") &&
        FileExists(combined)) {
      return combined;
    }
  }
  std::wstring app_path =
      QueryRegistryString(HKEY_LOCAL_MACHINE, kBrowserAppPathKey, L"", 2046 / sizeof(wchar_t) - 1).value_or(std::wstring());
  if (FileExists(app_path)) return app_path;
  return {};
}

bool IsWebAddress(std::wstring_view url) {
  for (const wchar_t c : url) {
    if (c <= L' ' || c == L'"' || c == 0x7F) return false;
  }
  const size_t colon = url.find(L':');
  if (colon == std::wstring_view::npos) return false;
  const std::wstring scheme = AsciiLower(url.substr(0, colon));
  if (scheme != L"http" && scheme != L"https") return false;
  const std::wstring_view rest = url.substr(colon + 1);
  if (rest.substr(0, 2) != L"//") return false;
  // The host runs to the first "/", "?" or "#"; it must not be empty.
  const std::wstring_view authority = rest.substr(2, rest.find_first_of(L"/\\?#", 2) - 2);
  const size_t at = authority.rfind(L'@');
  const std::wstring_view host = at == std::wstring_view::npos ? authority : authority.substr(at + 1);
  return !host.empty() && host.front() != L':';
}

std::wstring BrowserArguments(const std::wstring& url) { return L"-- \"" + url + L"\""; }

void OpenUrlOutside(const std::wstring& url) {
  if (!IsWebAddress(url)) return;
  const std::wstring browser = FindMakersBrowser();
  if (!browser.empty()) {
    // The browser is started only when it passes the trust rule, and is held until it has been.
    const std::optional<CheckedFile> program = HoldTrustedFile(browser, /*to_start=*/true);
    if (!program) return;
    const std::wstring arguments = BrowserArguments(url);
    if (BindHostKitTable()) {
      (void)LaunchAsDesktopUser(program->path, arguments);  // a refused start has nothing to fall back on
    } else {
      ::ShellExecuteW(nullptr, L"open", program->path.c_str(), arguments.c_str(), nullptr, SW_SHOW);
    }
  } else if (!HostKitOpenUrl(url.c_str())) {
    ::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOW);
  }
}

void ContainProcess() {
  if (g_contained.exchange(true)) return;
  HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
  if (!job) return;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
  ::AssignProcessToJobObject(job, ::GetCurrentProcess());
  // The handle stays open on purpose: closing it (or the process ending) ends the job's processes.
}

}  // namespace velmora
