// Every way the program starts another program or opens a link. Each file-starting operation
// applies the trust rule first: a missing, relative or untrusted file is never started.
// Main thread or workers; nothing here keeps state except the job of ContainProcess.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The trust rule for a file to be started: it exists and passes the trust check for starting
// (IsTrustedToStart).
[[nodiscard]] bool IsLaunchableFile(const std::wstring& path);

// The file a launch starts for `path`: its canonical local form (CanonicalLocalPath) when that
// exists and passes the rule above; nothing otherwise. The launch operations start this text.
[[nodiscard]] std::optional<std::wstring> LaunchableFile(const std::wstring& path);

// CreateProcessW with the application name `path` and the command line "\"path\" parameters".
[[nodiscard]] bool LaunchFile(const std::wstring& path, const std::wstring& parameters);

// CreateProcessW with no application name and the command line "\"path\" parameters".
[[nodiscard]] bool LaunchCommand(const std::wstring& path, const std::wstring& parameters);

// ShellExecuteW "open"; the ShellExecuteW result, or null when refused.
HINSTANCE ShellOpenFile(const std::wstring& path, const std::wstring& parameters, int show);

// Starts `command_line` with a normal-user token (Safer), as an elevated process's child that
// must not inherit its rights. Any failure, exceptions included, answers false. On success the
// caller owns the handles in `process_info`.
[[nodiscard]] bool LaunchAsNormalUser(const std::wstring& command_line, STARTUPINFOW* startup_info,
                        PROCESS_INFORMATION* process_info);

// Starts `file` with `parameters` as the desktop user: through HostKit's launch entry when its
// table binds and the parameters are at most kDesktopLaunchParametersLimit characters, else (or
// when that fails) with a normal-user token.
constexpr size_t kDesktopLaunchParametersLimit = 950;
[[nodiscard]] bool LaunchAsDesktopUser(const std::wstring& file, const std::wstring& parameters);

// Whether `url` is a web address: "http://" or "https://" (scheme in any case) and a host,
// with no white space, control character or quote anywhere. Pure.
[[nodiscard]] bool IsWebAddress(std::wstring_view url);

// The browser's arguments for opening `url`: "--", then the address as one quoted argument, so
// the address can carry no switch of its own. `url` must be a web address (no quote). Pure.
std::wstring BrowserArguments(const std::wstring& url);

// Opens `url` in the maker's browser (BrowserArguments; the browser must pass the trust rule for
// starting, or nothing opens), else through HostKit, else in the default handler. Anything but a
// web address is refused, quietly.
void OpenUrlOutside(const std::wstring& url);

// Puts the current process into a job whose processes all end when it does. Once per process;
// later calls do nothing. Failures are ignored.
void ContainProcess();

// The maker's browser executable found through its two registry places, or empty.
std::wstring FindMakersBrowser();

}  // namespace velmora
